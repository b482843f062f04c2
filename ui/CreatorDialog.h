#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "disk/DriveEnumeration.h"
#include "platform/Platform.h"
#include "rescue/StatusSink.h"
#include "ui/CommonControls.h"
#include "ui/ModalDialog.h"
#include "ui/TextDialogs.h"
#include "ui/UniqueHandle.h"

namespace corvane::ui {

// The main dialog: the disk list, the three buttons and the status line. It
// is the status sink of the rescue disk creation that it starts.
class CreatorDialog final : public ModalDialog, public rescue::StatusSink, private disk::DriveRows {
 public:
  // With an image path, every rescue disk goes into that file instead of a
  // floppy.
  explicit CreatorDialog(platform::Platform& platform,
                         std::optional<std::string> imagePath = std::nullopt);

  void SetStatus(const std::string& text) override;
  void ShowMessage(const std::string& text, rescue::MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> ChooseImageFile(const std::string& defaultName) override;
  std::optional<std::size_t> ChooseDestination(const std::vector<std::string>& choices) override;
  void EnableCreateButton(bool enabled) override;
  int SelectedDrive() override;
  void ShowSuccessNotice() override;

  // Whether a run while the dialog was open made a rescue disk.
  [[nodiscard]] bool MadeRescueDisk() const { return madeRescueDisk; }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(const DataExchange& exchange) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void AddAboutBoxToSystemMenu() const;
  void CheckAdministratorRights();
  void CheckSystemFamily() const;
  void SetUpDiskList();
  void ShowDialogMessage(const std::string& text, UINT icon) const;

  bool OnSysCommand(WPARAM command);
  [[nodiscard]] bool OnPaint() const;
  void OnCreateRescueDisk();
  void OnAbout();

  void InsertRow(int row, const std::string& name) override;
  void SetCell(int row, int column, const std::string& text) override;

  platform::Platform& platform;
  std::optional<std::string> imagePath;
  SuccessNoticeDialog successNotice;
  // The dialog releases the image list; the disk list only borrows it.
  UniqueHandle<HIMAGELIST, DestroyImageList> imageList;
  HWND diskList = nullptr;
  std::string statusLine;
  bool madeRescueDisk = false;
  HICON windowIcon;
};

}  // namespace corvane::ui
