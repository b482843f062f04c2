#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace corvane::ui {

// The standard Save As dialog over owner, offering the CD and the floppy image
// types (the CD first) and defaultName. The path chosen, with the chosen
// type's extension when the name has neither; nothing on Cancel. Replacing an
// existing file of that name needs the user's Yes.
std::optional<std::string> ChooseRescueImageFile(HWND owner, const std::string& defaultName);

}  // namespace corvane::ui
