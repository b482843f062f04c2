#pragma once

#include "platform/Platform.h"
#include "ui/ModalDialog.h"
#include "ui/Resource.h"

namespace corvane::ui {

inline constexpr const char* kHomePage = "http://www.corvane.example/";

// Names the product and opens its home page in the browser on request; a new
// object for every opening.
class AboutDialog final : public ModalDialog {
 public:
  explicit AboutDialog(platform::Platform& platform) : ModalDialog(IDD_ABOUT), platform(platform) {}

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void OnHomePage();

  platform::Platform& platform;
};

// Confirms a finished rescue disk and warns how it may be used. Only its
// buttons take input.
class SuccessNoticeDialog final : public ModalDialog {
 public:
  SuccessNoticeDialog() : ModalDialog(IDD_SUCCESS_NOTICE) {}
};

}  // namespace corvane::ui
