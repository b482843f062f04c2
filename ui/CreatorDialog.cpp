#include "ui/CreatorDialog.h"

#include <array>
#include <utility>

#include "disk/SectorAccess.h"
#include "platform/Utf16.h"
#include "rescue/RescueDisk.h"
#include "ui/DestinationDialog.h"
#include "ui/Layout.h"
#include "ui/Resource.h"
#include "ui/SaveAsDialog.h"

namespace corvane::ui {
namespace {

using platform::ToUtf16;

constexpr const wchar_t* kDialogCaption = L"Corvane";
constexpr COLORREF kDiskListTextColour = RGB(132, 0, 132);
constexpr int kImageListGrowth = 10;

struct Column {
  const char* title;
  int width;
};

constexpr std::array<Column, 4> kColumns = {{{"Hard Disks", 130},
                                             {"Serial Number", 100},
                                             {"Model Number", 100},
                                             {"Capacity (Giga Bytes)", 150}}};

bool Handled(INT_PTR& result, INT_PTR value) {
  result = value;
  return true;
}

}  // namespace

CreatorDialog::CreatorDialog(platform::Platform& platform, std::optional<std::string> imagePath)
    : ModalDialog(IDD_CREATOR),
      platform(platform),
      imagePath(std::move(imagePath)),
      windowIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM))) {}

bool CreatorDialog::OnInitDialog() {
  ModalDialog::OnInitDialog();
  AddAboutBoxToSystemMenu();
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowIcon));
  CheckAdministratorRights();
  CheckSystemFamily();
  SetUpDiskList();
  disk::FillDriveList(platform, *this);
  UpdateData(false);
  return true;
}

void CreatorDialog::DoDataExchange(const DataExchange& exchange) {
  exchange.Control(IDC_DISK_LIST, diskList);
  exchange.Text(IDC_STATUS, statusLine);
}

bool CreatorDialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam) && Handled(result, TRUE);
    case WM_PAINT:
      return OnPaint() && Handled(result, TRUE);
    case WM_QUERYDRAGICON:
      return Handled(result, reinterpret_cast<INT_PTR>(windowIcon));
    case WM_COMMAND:
      if (IsButtonClick(wParam, IDC_CREATE_RESCUE_DISK)) {
        OnCreateRescueDisk();
        return Handled(result, TRUE);
      }
      if (IsButtonClick(wParam, IDC_ABOUT)) {
        OnAbout();
        return Handled(result, TRUE);
      }
      if (IsButtonClick(wParam, IDC_EXIT)) {
        PostQuitMessage(0);
        return Handled(result, TRUE);
      }
      return false;
    default:
      return false;
  }
}

void CreatorDialog::AddAboutBoxToSystemMenu() const {
  HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
  std::array<char, 256> text{};
  if (systemMenu == nullptr || LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUT_MENU_ITEM,
                                           text.data(), static_cast<int>(text.size())) == 0) {
    return;
  }
  AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(systemMenu, MF_STRING, IDM_ABOUT_BOX, text.data());
}

// Raw disk access needs administrator rights; without them the dialog ends
// before it ever waits for input, and with it the program.
void CreatorDialog::CheckAdministratorRights() {
  if (disk::OpenPhysicalDrive(platform, 0).IsValid()) {
    return;
  }
  ShowDialogMessage("You must have administrator privileges to run this program !",
                    MB_ICONEXCLAMATION);
  OnOK();
}

void CreatorDialog::CheckSystemFamily() const {
  if ((platform.SystemVersion() & 0x80000000U) != 0) {
    ShowDialogMessage("Corvane runs only in Windows NT/XP/2000 !", MB_ICONEXCLAMATION);
  }
}

void CreatorDialog::SetUpDiskList() {
  // 16-bit colour, no mask; the 32 x 32 icon is scaled down to 16 x 16.
  imageList.Reset(CreateImageList(16, 16, ILC_COLOR16, 0, kImageListGrowth));
  AddImageListIcon(imageList.Get(),
                   LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_DISK)));
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[i].width;
    column.pszText = const_cast<char*>(kColumns[i].title);
    column.iSubItem = static_cast<int>(i);
    SendMessageA(diskList, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageA(diskList, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList.Get()));
  SendMessageA(diskList, LVM_SETTEXTCOLOR, 0, kDiskListTextColour);
}

void CreatorDialog::ShowDialogMessage(const std::string& text, UINT icon) const {
  MessageBoxW(Handle(), ToUtf16(text).c_str(), kDialogCaption, MB_OK | icon);
}

bool CreatorDialog::OnSysCommand(WPARAM command) {
  if (!IsAboutBoxCommand(static_cast<unsigned>(command))) {
    return false;
  }
  OnAbout();
  return true;
}

// A minimised dialog draws its own icon; otherwise Windows paints.
bool CreatorDialog::OnPaint() const {
  if (IsIconic(Handle()) == FALSE) {
    return false;
  }
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(Handle(), &paint);
  SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(Handle(), &client);
  const Point at = MinimisedIconPosition(client.right - client.left, client.bottom - client.top,
                                         GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  DrawIcon(dc, at.x, at.y, windowIcon);
  EndPaint(Handle(), &paint);
  return true;
}

void CreatorDialog::OnCreateRescueDisk() {
  madeRescueDisk = rescue::CreateRescueDisk(platform, *this, imagePath) || madeRescueDisk;
}

void CreatorDialog::OnAbout() {
  AboutDialog about(platform);
  about.DoModal();
}

void CreatorDialog::SetStatus(const std::string& text) {
  statusLine = text;
  UpdateData(false);
  // The run holds the message loop until it ends: without a repaint now, each
  // step's status would reach the screen only after the run, and what a
  // closed message box uncovered would stay blank.
  HWND status = GetDlgItem(Handle(), IDC_STATUS);
  InvalidateRect(status, nullptr, TRUE);
  RedrawWindow(Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  HWND owner = GetWindow(Handle(), GW_OWNER);
  if (owner != nullptr) {
    UpdateWindow(owner);
  }
  // Some window systems (Wine's among them) put what a window has drawn on the
  // screen only when its thread looks at its queue; this look takes nothing.
  MSG paint{};
  PeekMessageA(&paint, status, WM_PAINT, WM_PAINT, PM_NOREMOVE);
}

void CreatorDialog::ShowMessage(const std::string& text, rescue::MessageIcon icon) {
  ShowDialogMessage(
      text, icon == rescue::MessageIcon::Exclamation ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
}

bool CreatorDialog::AskYesNo(const std::string& text) {
  return MessageBoxW(Handle(), ToUtf16(text).c_str(), kDialogCaption,
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::size_t> CreatorDialog::ChooseDestination(
    const std::vector<std::string>& choices) {
  DestinationDialog dialog(choices);
  dialog.DoModal();
  return dialog.Chosen();
}

std::optional<std::string> CreatorDialog::ChooseImageFile(const std::string& defaultName) {
  return ChooseRescueImageFile(Handle(), defaultName);
}

void CreatorDialog::EnableCreateButton(bool enabled) {
  EnableWindow(GetDlgItem(Handle(), IDC_CREATE_RESCUE_DISK), enabled ? TRUE : FALSE);
}

int CreatorDialog::SelectedDrive() {
  return static_cast<int>(SendMessageA(diskList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                       MAKELPARAM(LVNI_SELECTED, 0)));
}

void CreatorDialog::ShowSuccessNotice() { successNotice.DoModal(); }

void CreatorDialog::InsertRow(int row, const std::string& name) {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.pszText = const_cast<char*>(name.c_str());
  item.iImage = 0;
  SendMessageA(diskList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void CreatorDialog::SetCell(int row, int column, const std::string& text) {
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(diskList, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(&item));
}

}  // namespace corvane::ui
