#pragma once

#include <string>
#include <vector>

#include "rescue/StatusSink.h"

namespace corvane::testing {

// Writes what the user would see into a transcript shared with FakePlatform's
// application messages, so one list shows the order of everything.
class RecordingSink final : public rescue::StatusSink {
 public:
  RecordingSink(std::vector<std::string>& transcript, int selectedDrive)
      : transcript(transcript), selectedDrive(selectedDrive) {}

  void SetStatus(const std::string& text) override {
    status = text;
    transcript.emplace_back("status: " + text);
  }
  void ShowMessage(const std::string& text, rescue::MessageIcon icon) override {
    transcript.emplace_back((icon == rescue::MessageIcon::Exclamation ? "warning: " : "info: ") +
                            text);
  }
  bool AskYesNo(const std::string& text) override {
    transcript.emplace_back("question: " + text);
    return answerYes;
  }
  std::optional<std::size_t> ChooseDestination(const std::vector<std::string>& choices) override {
    std::string line = "choose:";
    for (const std::string& choice : choices) {
      line += " [" + choice + "]";
    }
    transcript.push_back(line);
    return chosenDestination;
  }
  std::optional<std::string> ChooseImageFile(const std::string& defaultName) override {
    transcript.emplace_back("save as: " + defaultName);
    return chosenFile;
  }
  void EnableCreateButton(bool enabled) override {
    buttonEnabled = enabled;
    transcript.emplace_back(enabled ? "button: on" : "button: off");
  }
  int SelectedDrive() override { return selectedDrive; }
  void ShowSuccessNotice() override { transcript.emplace_back("notice"); }

  std::string status = "Ready";
  bool answerYes = true;
  std::optional<std::string> chosenFile;
  std::optional<std::size_t> chosenDestination = 0;
  bool buttonEnabled = true;

 private:
  std::vector<std::string>& transcript;
  int selectedDrive;
};

}  // namespace corvane::testing
