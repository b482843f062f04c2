#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace corvane::rescue {

enum class MessageIcon { Exclamation, Information };

// How the rescue code reaches the user: the main dialog implements it.
class StatusSink {
 public:
  StatusSink() = default;
  StatusSink(const StatusSink&) = delete;
  StatusSink& operator=(const StatusSink&) = delete;
  StatusSink(StatusSink&&) = delete;
  StatusSink& operator=(StatusSink&&) = delete;
  virtual ~StatusSink() = default;

  // Replaces the status line; the text reaches its control at once.
  virtual void SetStatus(const std::string& text) = 0;
  // A modal message owned by the main dialog; returns when it is dismissed.
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // A modal question with Yes and No buttons, No the default, for a Yes that
  // cannot be undone; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // Where the rescue disk goes, chosen from choices in a modal dialog: the
  // index of the choice, or nothing when the user cancels.
  virtual std::optional<std::size_t> ChooseDestination(const std::vector<std::string>& choices) = 0;
  // The file the user chooses to save a rescue image as, defaultName offered;
  // nothing when the user cancels.
  virtual std::optional<std::string> ChooseImageFile(const std::string& defaultName) = 0;
  virtual void EnableCreateButton(bool enabled) = 0;
  // The first selected row of the disk list, which is the drive number, or -1.
  virtual int SelectedDrive() = 0;
  virtual void ShowSuccessNotice() = 0;
};

}  // namespace corvane::rescue
