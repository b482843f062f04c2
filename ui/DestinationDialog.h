#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ui/ModalDialog.h"
#include "ui/Resource.h"

namespace corvane::ui {

// Asks where the rescue disk goes on a PC without a floppy drive: one line a
// choice, the first one selected; OK or a double click takes the selected one.
class DestinationDialog final : public ModalDialog {
 public:
  explicit DestinationDialog(std::vector<std::string> choices)
      : ModalDialog(IDD_DESTINATION), choices(std::move(choices)) {}

  // The index of the choice taken, or nothing after Cancel.
  [[nodiscard]] std::optional<std::size_t> Chosen() const { return chosen; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  std::vector<std::string> choices;
  std::optional<std::size_t> chosen;
};

}  // namespace corvane::ui
