#include "app/RescueApp.h"

#include <windows.h>

#include "app/BackdropDialog.h"
#include "platform/Win32Platform.h"
#include "ui/CommonControls.h"
#include "ui/SystemLibrary.h"

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
  // Before anything can load a DLL by name: the program usually runs with
  // administrator rights from a download folder, where others drop files.
  ui::RestrictDllSearch();
  AddQuietErrorMode();
  InitInstance();
  return 0;
}

// The application object's start-up hook, a member whatever state it holds.
bool RescueApp::InitInstance() {  // NOLINT(readability-convert-member-functions-to-static)
  // Loads comctl32.dll from the system folder and registers the list view
  // class; every supported Windows draws the three-dimensional control look
  // by itself.
  if (!ui::LoadCommonControls()) {
    MessageBoxA(nullptr, "Corvane cannot load comctl32.dll from the Windows system folder.",
                "Corvane", MB_OK | MB_ICONSTOP);
    return false;
  }
  // Windows loads these by name while it draws the dialogs (the visual
  // styles, and the blending they use), where no setting may keep the
  // program's folder out of the search (Windows 2000 and XP, and delay-loads
  // under Wine). Taken from the system folder first, they are found loaded.
  // Windows 2000 has no uxtheme.dll: the object then holds nothing.
  const ui::SystemLibrary visualStyles("uxtheme.dll");
  const ui::SystemLibrary blending("msimg32.dll");
  platform::Win32Platform platform([] { return ui::OwnerForNewWindow(); });
  BackdropDialog backdrop(platform);
  ui::SetMainWindow(&backdrop);
  backdrop.DoModal();
  ui::SetMainWindow(nullptr);
  return false;
}

}  // namespace corvane::app
