#pragma once

// The program's command line, read without Win32 so that it is tested
// natively. Corvane takes one option: "/image PATH" makes the rescue disk an
// image file at PATH, as on a PC without a floppy drive.
// Usage: Corvane.exe [/image PATH]
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::ui {

// The words of a Windows command line: spaces separate them, and double
// quotes keep spaces within one (the quotes themselves are dropped).
inline std::vector<std::string> CommandLineWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool inWord = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) {
        words.push_back(word);
      }
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) {
    words.push_back(word);
  }
  return words;
}

struct ImageOption {
  bool given = false;
  std::string path;
};

// What the arguments after the program's own name ask for: nothing, or
// "/image PATH" ("-image" too, in any case). Anything else, "/image" without
// a path or "/image=PATH" among it, is no command line the program takes:
// nothing then.
inline std::optional<ImageOption> ReadArguments(std::string_view commandLine) {
  const std::vector<std::string> words = CommandLineWords(commandLine);
  if (words.size() <= 1) {
    return ImageOption{};
  }
  std::string option = words[1];
  for (char& c : option) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (words.size() == 3 && (option == "/image" || option == "-image")) {
    return ImageOption{true, words[2]};
  }
  return std::nullopt;
}

}  // namespace corvane::ui
