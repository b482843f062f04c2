// The yardstick for Corvane's start-up: a minimal Win32 dialog program that
// shows a dialog like Corvane's main dialog with ten rows in its list and
// touches no disk. corvane_driver times both the same way.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

namespace {

constexpr int kList = 1003;
constexpr int kExit = 1007;
constexpr int kRows = 10;

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    HWND list = GetDlgItem(dialog, kList);
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 130;
    column.pszText = const_cast<char*>("Hard Disks");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    for (int row = 0; row < kRows; ++row) {
      std::string name = "Physical Disk " + std::to_string(row);
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = name.data();
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == kExit || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  InitCommonControls();
  DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, DialogProcedure, 0);
  return 0;
}
