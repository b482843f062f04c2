#include "app/RescueApp.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/BackdropDialog.h"
#include "platform/Win32Platform.h"

namespace corvane::app {
namespace {

// A missing floppy or an unreadable device makes the call fail instead of
// raising a system prompt over the program.
void AddQuietErrorMode() {
  const UINT previous = SetErrorMode(0);
  SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace

int RescueApp::Run() {
  AddQuietErrorMode();
  InitInstance();
  return 0;
}

// The application object's start-up hook, a member whatever state it holds.
bool RescueApp::InitInstance() {  // NOLINT(readability-convert-member-functions-to-static)
  // Registers the list view class; every supported Windows draws the
  // three-dimensional control look by itself.
  InitCommonControls();
  platform::Win32Platform platform([] { return ui::OwnerForNewWindow(); });
  BackdropDialog backdrop(platform);
  ui::SetMainWindow(&backdrop);
  backdrop.DoModal();
  ui::SetMainWindow(nullptr);
  return false;
}

}  // namespace corvane::app
