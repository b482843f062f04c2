#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// The program keeps text as UTF-8 and hands it to Windows' wide functions, so
// that a path reaches the file system as typed: an ANSI call would map
// characters outside the code page to look-alikes (a fullwidth backslash
// becomes a folder separator) or to "?".
std::wstring ToUtf16(std::string_view text);
std::string ToUtf8(std::wstring_view text);

}  // namespace corvane::platform
