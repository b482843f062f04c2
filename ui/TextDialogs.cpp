#include "ui/TextDialogs.h"

#include <array>
#include <string>

namespace corvane::ui {
namespace {

// Explorer by its full path: a bare name is looked for in the program's own
// folder first, where an explorer.exe that someone dropped would run with the
// program's administrator rights. The shared Windows folder, not a Terminal
// Services user's own.
std::string ExplorerCommand() {
  std::array<char, MAX_PATH> folder{};
  const UINT length = GetSystemWindowsDirectoryA(folder.data(), folder.size());
  if (length == 0 || length >= folder.size()) {
    return {};
  }
  std::string path(folder.data(), length);
  if (path.back() != '\\') {
    path += '\\';
  }
  return "\"" + path + "explorer.exe\"";
}

}  // namespace

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
  const std::string explorer = ExplorerCommand();
  if (!explorer.empty()) {
    platform.StartProgram(explorer + " " + kHomePage, SW_SHOW);
  }
}

}  // namespace corvane::ui
