// Uses Corvane.exe as a person would, from outside its process: selects a
// disk row, presses "&Create Rescue Disk", answers every message box, closes
// the success notice and presses "&Exit". Prints what the user was shown, one
// line each ("message: ...", "notice", "status: ..."), and the program's exit
// code, and keeps a screenshot of every window on the way.
//
// Usage: corvane_driver PROGRAM ROW SCREENSHOT-FOLDER [ARGUMENT...]
//   ROW is the disk list row to select, or -1 to press the button without one;
//   SCREENSHOT-FOLDER "-" takes none; the ARGUMENTs go to PROGRAM.
// A Yes/No question ("question: ...") is answered Yes, or No when
// CORVANE_DRIVER_ANSWER is "no"; the choice of where the rescue disk goes
// ("choose: [CHOICE] [CHOICE] ...") takes the first choice that contains
// CORVANE_DRIVER_CHOOSE, or the one selected when that is not set, and is
// cancelled when CORVANE_DRIVER_ANSWER is "no"; a Save As dialog ("save as: NAME") is
// confirmed with the name it offers, or the name in CORVANE_DRIVER_SAVE_AS
// when that is set and not empty.
// Texts are printed, and taken from the arguments and the environment, in
// UTF-8.
// On standard error it reports how long the program took to become ready
// and how long it was busy between the user's actions and its next answer,
// which leaves out the time its windows waited for the user.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/Utf16.h"

namespace {

using corvane::platform::ToUtf16;
using corvane::platform::ToUtf8;

constexpr DWORD kPollMs = 10;
constexpr DWORD kTimeoutMs = 60000;
constexpr DWORD kPressGraceMs = 1000;
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kDiskList = 1003;
constexpr int kCreateButton = 1004;
constexpr int kStatus = 1006;
constexpr int kExitButton = 1007;
constexpr int kDestinationList = 1030;
// The Save As dialog's file name box: a combo box, or an edit box in older
// dialogs.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
const char* const kMainCaption = " Corvane : Rescue Disk Creator";

// A top-level window's caption, read without asking its (perhaps busy) thread.
std::string Caption(HWND window) {
  std::array<char, 256> text{};
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

// WM_GETTEXT, unlike GetWindowText, reaches the controls of another process.
std::string Text(HWND window) {
  std::array<wchar_t, 2048> text{};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 2000, &length);
  return ToUtf8(text.data());
}

std::string ClassOf(HWND window) {
  std::array<char, 64> name{};
  GetClassNameA(window, name.data(), static_cast<int>(name.size()));
  return name.data();
}

bool IsDialogOf(HWND window, DWORD process) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == process && ClassOf(window) == "#32770";
}

// The dialogs of one process: its main dialog, and its visible message boxes
// and notices (the backdrop, a dialog without controls, is neither). Only the
// program this driver started counts, never a window that an earlier run left
// behind while it was still closing.
struct Windows {
  DWORD process;
  std::vector<HWND> dialogs;
  HWND main;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
  auto* windows = reinterpret_cast<Windows*>(context);
  if (!IsDialogOf(window, windows->process)) {
    return TRUE;
  }
  if (Caption(window) == kMainCaption) {
    windows->main = window;
  } else if (IsWindowVisible(window) != FALSE && GetWindow(window, GW_CHILD) != nullptr) {
    windows->dialogs.push_back(window);
  }
  return TRUE;
}

Windows WindowsOf(DWORD process) {
  Windows found{process, {}, nullptr};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The whole screen as an uncompressed 24-bit bitmap file.
void SaveScreenshot(const std::string& folder, int number, const std::string& name) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD rowSize = (static_cast<DWORD>(width) * 3 + 3) & ~3U;
  const DWORD imageSize = rowSize * static_cast<DWORD>(height);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = header.bfOffBits + imageSize;
  std::array<char, 32> prefix{};
  std::snprintf(prefix.data(), prefix.size(), "%02d-", number);
  const std::string path = folder + "\\" + prefix.data() + name + ".bmp";
  if (FILE* file = std::fopen(path.c_str(), "wb"); file != nullptr) {
    std::fwrite(&header, sizeof(header), 1, file);
    std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, file);
    std::fwrite(bits, 1, imageSize, file);
    std::fclose(file);
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Selects a row of a list view in another process: the item structure has to
// live in that process.
void SelectRow(HANDLE process, HWND list, int row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(item), MEM_COMMIT, PAGE_READWRITE);
  WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
}

void Press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

class Person {
 public:
  Person(const PROCESS_INFORMATION& program, int row, std::string folder)
      : program(program), row(row), folder(std::move(folder)), started(GetTickCount()) {}

  // One look at the screen and at most one action; false once there is
  // nothing left to do.
  bool Act() {
    seenAt = GetTickCount();
    const Windows windows = WindowsOf(program.dwProcessId);
    const std::vector<HWND>& popups = windows.dialogs;
    for (HWND dialog : popups) {
      if (handled.contains(dialog)) {
        continue;
      }
      handled.insert(dialog);
      pressHandled = created;
      Answer(dialog, Report(dialog));
      return true;
    }
    HWND mainDialog = windows.main;
    if (mainDialog == nullptr || !popups.empty() || IsWindowEnabled(mainDialog) == FALSE ||
        IsWindowEnabled(GetDlgItem(mainDialog, kCreateButton)) == FALSE) {
      pressHandled = created;
      return true;  // busy, or between windows
    }
    // The dialog shows itself before its initialisation has listed the disks.
    const auto rows = SendMessageA(GetDlgItem(mainDialog, kDiskList), LVM_GETITEMCOUNT, 0, 0);
    if (!created && row >= 0 && rows <= row) {
      return true;
    }
    if (!created) {
      created = true;
      std::fprintf(stderr, "timing: ready after %lu ms\n", seenAt - started);
      Shot("main");
      if (row >= 0) {
        SelectRow(program.hProcess, GetDlgItem(mainDialog, kDiskList), row);
      }
      Answer(mainDialog, kCreateButton);
      return true;
    }
    // A posted press arrives a moment later: until the program shows that it
    // took it (a message, a disabled button), its idle dialog means nothing.
    // A program whose button does nothing is done after a grace period.
    if (!pressHandled && seenAt - pressedAt < kPressGraceMs) {
      return true;
    }
    Shot("done");
    std::printf("status: %s\n", Text(GetDlgItem(mainDialog, kStatus)).c_str());
    std::fprintf(stderr, "timing: busy %lu ms\n", busy + (seenAt - pressedAt));
    Press(mainDialog, kExitButton);
    return false;
  }

 private:
  // Prints what the popup shows and returns the button to press.
  int Report(HWND dialog) {
    int button = IDOK;
    // The success notice's button reads "O&K"; a message box's reads "OK".
    if (Text(GetDlgItem(dialog, IDOK)) == "O&K") {
      Shot("notice");
      std::printf("notice\n");
    } else if (GetDlgItem(dialog, IDYES) != nullptr) {
      Shot("question");
      std::printf("question: %s\n", Text(GetDlgItem(dialog, kMessageBoxText)).c_str());
      const char* answer = std::getenv("CORVANE_DRIVER_ANSWER");
      button = answer != nullptr && std::string(answer) == "no" ? IDNO : IDYES;
    } else if (GetDlgItem(dialog, kDestinationList) != nullptr) {
      Shot("destination");
      button = ChooseDestination(GetDlgItem(dialog, kDestinationList));
    } else if (GetDlgItem(dialog, kFileNameCombo) != nullptr ||
               GetDlgItem(dialog, kFileNameEdit) != nullptr) {
      Shot("save-as");
      HWND name = GetDlgItem(dialog, kFileNameCombo);
      name = name != nullptr ? name : GetDlgItem(dialog, kFileNameEdit);
      const std::string offered = Text(name);
      std::printf("save as: %s\n", offered.c_str());
      const char* typed = std::getenv("CORVANE_DRIVER_SAVE_AS");
      // The dialog opens where the last one was left: the name goes into this
      // run's own folder, as a person would type it.
      std::array<wchar_t, MAX_PATH> runFolder{};
      GetCurrentDirectoryW(static_cast<DWORD>(runFolder.size()), runFolder.data());
      const std::wstring path = std::wstring(runFolder.data()) + L"\\" +
                                ToUtf16(typed != nullptr && *typed != '\0' ? typed : offered);
      SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                          SMTO_ABORTIFHUNG, 2000, nullptr);
    } else {
      Shot("message");
      std::printf("message: %s\n", Text(GetDlgItem(dialog, kMessageBoxText)).c_str());
    }
    std::fflush(stdout);
    return button;
  }

  // Prints the choices, selects the one asked for, and returns the button.
  static int ChooseDestination(HWND list) {
    const char* wanted = std::getenv("CORVANE_DRIVER_CHOOSE");
    const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    std::string line = "choose:";
    for (LRESULT k = 0; k < count; ++k) {
      std::array<wchar_t, 512> text{};
      SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(text.data()));
      const std::string choice = ToUtf8(text.data());
      line += " [" + choice + "]";
      if (wanted != nullptr && *wanted != '\0' && choice.find(wanted) != std::string::npos) {
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(k), 0);
        wanted = nullptr;
      }
    }
    std::printf("%s\n", line.c_str());
    const char* answer = std::getenv("CORVANE_DRIVER_ANSWER");
    return answer != nullptr && std::string(answer) == "no" ? IDCANCEL : IDOK;
  }

  void Shot(const char* name) {
    if (folder != "-") {
      Sleep(300);  // let the window finish painting
      SaveScreenshot(folder, ++shots, name);
    }
  }

  // Presses a button after counting the time since the last press, up to the
  // moment its answer was seen.
  void Answer(HWND dialog, int id) {
    if (pressedAt != 0) {
      busy += seenAt - pressedAt;
    }
    pressedAt = GetTickCount();
    Press(dialog, id);
  }

  PROCESS_INFORMATION program;
  int row;
  std::string folder;
  std::set<HWND> handled;
  bool created = false;
  bool pressHandled = false;
  int shots = 0;
  DWORD started;
  DWORD seenAt = 0;
  DWORD pressedAt = 0;
  DWORD busy = 0;
};

}  // namespace

int main() {
  // The wide command line: an argument outside the ANSI code page reaches
  // the program as it was given.
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 4) {
    std::fprintf(stderr, "usage: corvane_driver PROGRAM ROW SCREENSHOT-FOLDER [ARGUMENT...]\n");
    return 2;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION program{};
  std::wstring commandLine = std::wstring(L"\"") + argv[1] + L"\"";
  for (int k = 4; k < argc; ++k) {
    commandLine += std::wstring(L" \"") + argv[k] + L"\"";
  }
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &program) == FALSE) {
    std::fprintf(stderr, "cannot start %s\n", ToUtf8(argv[1]).c_str());
    return 2;
  }
  Person person(program, static_cast<int>(std::wcstol(argv[2], nullptr, 10)), ToUtf8(argv[3]));
  LocalFree(argv);
  const DWORD start = GetTickCount();
  bool acting = true;
  while (WaitForSingleObject(program.hProcess, kPollMs) == WAIT_TIMEOUT) {
    if (GetTickCount() - start > kTimeoutMs) {
      std::printf("timeout\n");
      TerminateProcess(program.hProcess, 3);
      return 3;
    }
    acting = acting && person.Act();
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(program.hProcess, &exitCode);
  std::printf("exit: %lu\n", static_cast<unsigned long>(exitCode));
  std::fflush(stdout);
  CloseHandle(program.hThread);
  CloseHandle(program.hProcess);
  return 0;
}
