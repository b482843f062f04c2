#include "ui/TextDialogs.h"

#include <string>

namespace corvane::ui {

bool AboutDialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result) {
  if (message == WM_COMMAND && IsButtonClick(wParam, IDC_HOME_PAGE)) {
    OnHomePage();
    result = TRUE;
    return true;
  }
  return false;
}

// The shell hands the address to the user's browser. The box stays open, and
// a failure to start is not reported.
void AboutDialog::OnHomePage() {
  platform.StartProgram(std::string("explorer ") + kHomePage, SW_SHOW);
}

}  // namespace corvane::ui
