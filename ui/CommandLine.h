#pragma once

// The program's command line, read without Win32 so that it is tested
// natively. Corvane takes one option: "/image PATH" makes the rescue disk an
// image file at PATH, as on a PC without a floppy drive.
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
  std::string path;  // empty when "/image" has no PATH after it
};

// "/image PATH" (or "-image", in any case) among the arguments, which follow
// the program's own name on the command line.
inline ImageOption FindImageOption(std::string_view commandLine) {
  const std::vector<std::string> words = CommandLineWords(commandLine);
  for (std::size_t k = 1; k < words.size(); ++k) {
    std::string word = words[k];
    for (char& c : word) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (word == "/image" || word == "-image") {
      return {true, k + 1 < words.size() ? words[k + 1] : std::string()};
    }
  }
  return {};
}

}  // namespace corvane::ui
