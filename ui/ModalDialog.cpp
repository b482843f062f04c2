#include "ui/ModalDialog.h"

#include <vector>

#include "platform/Utf16.h"

namespace corvane::ui {
namespace {

const ModalDialog* mainWindow = nullptr;

}  // namespace

void SetMainWindow(const ModalDialog* dialog) { mainWindow = dialog; }

HWND OwnerForNewWindow() {
  HWND main = mainWindow != nullptr ? mainWindow->Handle() : nullptr;
  return main != nullptr ? GetLastActivePopup(main) : nullptr;
}

void DataExchange::Control(int controlId, HWND& control) const {
  if (control == nullptr) {
    control = GetDlgItem(dialog, controlId);
  }
}

void DataExchange::Text(int controlId, std::string& value) const {
  if (!fromControls) {
    SetDlgItemTextW(dialog, controlId, platform::ToUtf16(value).c_str());
    return;
  }
  const int length = GetWindowTextLengthW(GetDlgItem(dialog, controlId));
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
  GetDlgItemTextW(dialog, controlId, text.data(), static_cast<int>(text.size()));
  value = platform::ToUtf8(text.data());
}

INT_PTR ModalDialog::DoModal() {
  const INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), OwnerForNewWindow(),
                      DialogProcedure, reinterpret_cast<LPARAM>(this));
  window = nullptr;
  return result;
}

bool ModalDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void ModalDialog::DoDataExchange(const DataExchange& /*exchange*/) {}

void ModalDialog::OnOK() {
  UpdateData(true);
  EndDialog(IDOK);
}

void ModalDialog::OnCancel() { EndDialog(IDCANCEL); }

bool ModalDialog::OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                            INT_PTR& /*result*/) {
  return false;
}

void ModalDialog::UpdateData(bool fromControls) {
  DoDataExchange(DataExchange(window, fromControls));
}

void ModalDialog::EndDialog(INT_PTR result) const { ::EndDialog(window, result); }

INT_PTR CALLBACK ModalDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<ModalDialog*>(lParam);  // NOLINT(performance-no-int-to-ptr)
    dialog->window = window;
    SetWindowLongPtrA(window, DWLP_USER, lParam);
  }
  auto* dialog = reinterpret_cast<ModalDialog*>(  // NOLINT(performance-no-int-to-ptr)
      GetWindowLongPtrA(window, DWLP_USER));
  return dialog != nullptr ? dialog->Dispatch(message, wParam, lParam) : FALSE;
}

INT_PTR ModalDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    return OnInitDialog() ? TRUE : FALSE;
  }
  if (INT_PTR result = FALSE; OnMessage(message, wParam, lParam, result)) {
    return result;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    OnOK();
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

}  // namespace corvane::ui
