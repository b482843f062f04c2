#include "app/RescueApp.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "app/BackdropDialog.h"
#include "platform/Utf16.h"
#include "platform/Win32Platform.h"
#include "rescue/RescueImage.h"
#include "ui/CommandLine.h"
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

// The image file that "/image PATH" asks for, or nothing when there is none.
// Any other argument, or a path that names neither image kind, is refused
// before anything starts.
bool ReadImageOption(platform::Platform& platform, std::optional<std::string>& imagePath) {
  const std::optional<ui::ImageOption> arguments =
      ui::ReadArguments(corvane::platform::ToUtf8(GetCommandLineW()));
  if (!arguments) {
    platform.ShowApplicationMessage(
        "Usage: Corvane.exe [/image PATH]\n\nWith /image, the rescue disk is saved as the image "
        "file PATH, ending in .iso (a CD image) or .img (a floppy image).");
    return false;
  }
  const ui::ImageOption& option = *arguments;
  if (!option.given) {
    return true;
  }
  if (!rescue::ImageKindOf(option.path)) {
    platform.ShowApplicationMessage(
        "The image file given with /image must end in .iso (a CD image) or .img (a floppy "
        "image):\n" +
        option.path);
    return false;
  }
  imagePath = option.path;
  return true;
}

// A file beside the program that makes Windows look for DLLs in the
// program's folder first: an external manifest (XP prefers it to the
// embedded one, and it may name DLLs as local files), or a .local file or
// folder (Windows 2000 then loads every DLL, full paths included, from the
// folder first). Its name, or nothing.
std::optional<std::wstring> RedirectionBesideProgram() {
  std::array<wchar_t, MAX_PATH> path{};
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) {
    return std::nullopt;
  }
  const std::wstring program(path.data(), length);
  for (const wchar_t* suffix : {L".local", L".manifest"}) {
    if (GetFileAttributesW((program + suffix).c_str()) != INVALID_FILE_ATTRIBUTES) {
      return program.substr(program.find_last_of(L"\\/:") + 1) + suffix;
    }
  }
  return std::nullopt;
}

}  // namespace

int RescueApp::Run() {
  // Before Windows loads any DLL for the program by name: a redirection file
  // would make it take one from the program's folder, where others may drop
  // files, with the administrator rights the program runs with.
  if (const auto redirection = RedirectionBesideProgram()) {
    const std::wstring text = L"A file beside Corvane.exe (" + *redirection +
                              L") could make Windows load program code from this folder. Remove "
                              L"it and start Corvane again.";
    MessageBoxW(nullptr, text.c_str(), L"Corvane", MB_OK | MB_ICONSTOP);
    return 1;
  }
  // Before anything can load a DLL by name: the program usually runs with
  // administrator rights from a download folder, where others drop files.
  ui::RestrictDllSearch();
  AddQuietErrorMode();
  InitInstance();
  return exitCode;
}

bool RescueApp::InitInstance() {
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
  std::optional<std::string> imagePath;
  if (!ReadImageOption(platform, imagePath)) {
    exitCode = 1;
    return false;
  }
  BackdropDialog backdrop(platform, imagePath);
  ui::SetMainWindow(&backdrop);
  backdrop.DoModal();
  ui::SetMainWindow(nullptr);
  if (imagePath && !backdrop.MadeRescueDisk()) {
    exitCode = 1;
  }
  return false;
}

}  // namespace corvane::app
