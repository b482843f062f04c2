#include "ui/DestinationDialog.h"

#include "platform/Utf16.h"

namespace corvane::ui {

bool DestinationDialog::OnInitDialog() {
  HWND list = GetDlgItem(Handle(), IDC_DESTINATIONS);
  for (const std::string& choice : choices) {
    SendMessageW(list, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(platform::ToUtf16(choice).c_str()));
  }
  SendMessageW(list, LB_SETCURSEL, 0, 0);
  return ModalDialog::OnInitDialog();
}

void DestinationDialog::OnOK() {
  const LRESULT selected = SendDlgItemMessageW(Handle(), IDC_DESTINATIONS, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) {
    return;
  }
  chosen = static_cast<std::size_t>(selected);
  ModalDialog::OnOK();
}

bool DestinationDialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_DESTINATIONS && HIWORD(wParam) == LBN_DBLCLK) {
    OnOK();
    result = TRUE;
    return true;
  }
  return false;
}

}  // namespace corvane::ui
