#pragma once

#include <windows.h>

#include <string>

namespace corvane::ui {

class ModalDialog;

// The program's main window. A dialog or message opened without an owner goes
// over the most recently active window of it, and is modal over that window.
void SetMainWindow(const ModalDialog* dialog);
HWND OwnerForNewWindow();

// Moves values between a dialog's members and its controls, in one direction.
class DataExchange {
 public:
  DataExchange(HWND dialog, bool fromControls) : dialog(dialog), fromControls(fromControls) {}

  // Binds a member to a control the first time; later exchanges keep it.
  void Control(int controlId, HWND& control) const;
  void Text(int controlId, std::string& value) const;

 private:
  HWND dialog;
  bool fromControls;
};

// A dialog run modally from a template, the base of every dialog of the
// program. Its default actions are those users know from Windows: OK takes
// the controls' data and ends the dialog, Cancel ends it as it is.
class ModalDialog {
 public:
  explicit ModalDialog(int templateId) : templateId(templateId) {}
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;
  ModalDialog(ModalDialog&&) = delete;
  ModalDialog& operator=(ModalDialog&&) = delete;
  virtual ~ModalDialog() = default;

  // Runs the dialog over OwnerForNewWindow() until it ends; -1 when it could
  // not be created or a quit message ended it.
  INT_PTR DoModal();
  [[nodiscard]] HWND Handle() const { return window; }

 protected:
  // Runs the first data exchange towards the controls; true lets Windows put
  // the focus on the first tab stop.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(const DataExchange& exchange);
  virtual void OnOK();
  virtual void OnCancel();
  // The dialog's own events. Returns true when it handled the message, with
  // the dialog procedure's answer in result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  void UpdateData(bool fromControls);
  void EndDialog(INT_PTR result) const;

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId;
  HWND window = nullptr;
};

// True for WM_COMMAND's click of the button controlId.
inline bool IsButtonClick(WPARAM wParam, int controlId) {
  return LOWORD(wParam) == controlId && HIWORD(wParam) == BN_CLICKED;
}

}  // namespace corvane::ui
