#include "app/BackdropDialog.h"

#include <utility>

#include "ui/CreatorDialog.h"
#include "ui/Resource.h"

namespace corvane::app {
namespace {

using ui::Picture;

constexpr std::array<int, 3> kPictureResources = {IDB_TITLE, IDB_PIE_CHART, IDB_BLURB};
constexpr std::array<Picture, 3> kPictures = {Picture::Title, Picture::PieChart, Picture::Blurb};

// Process-wide, not per backdrop: set before the main dialog runs, so the
// paints that arrive while it is open find it taken.
ui::FirstTimeFlag mainDialogStarted;

}  // namespace

BackdropDialog::BackdropDialog(platform::Platform& platform, std::optional<std::string> imagePath)
    : ModalDialog(IDD_BACKDROP), platform(platform), imagePath(std::move(imagePath)) {}

HBITMAP BackdropDialog::PictureBitmap(Picture picture) const {
  return slots.at(static_cast<std::size_t>(picture)).bitmap.Get();
}

bool BackdropDialog::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/,
                               INT_PTR& result) {
  if (message != WM_PAINT) {
    return false;
  }
  OnPaint();
  result = TRUE;
  return true;
}

void BackdropDialog::OnPaint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(Handle(), &paint);
  const bool first = mainDialogStarted.Take();
  if (first) {
    ShowWindow(Handle(), SW_MAXIMIZE);
    LoadPictures(dc);
  }
  RECT client{};
  GetClientRect(Handle(), &client);
  PaintScene(dc, client);
  if (first) {
    RunMainDialog();
  }
  EndPaint(Handle(), &paint);
}

void BackdropDialog::LoadPictures(HDC screen) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    slots[i].bitmap.Reset(
        LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kPictureResources[i])));
    slots[i].surface.Reset(CreateCompatibleDC(screen));
    if (slots[i].bitmap.Get() != nullptr) {
      SelectObject(slots[i].surface.Get(), slots[i].bitmap.Get());
    }
  }
}

void BackdropDialog::PaintScene(HDC dc, const RECT& client) {
  HBRUSH background = CreateSolidBrush(kBackdropColour);
  FillRect(dc, &client, background);
  DeleteObject(background);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    PictureSlot& slot = slots[i];
    BITMAP size{};
    GetObjectA(slot.bitmap.Get(), sizeof(size), &size);
    slot.height = static_cast<int>(size.bmHeight);
    slot.width = static_cast<int>(size.bmWidth);
    const ui::Point at = ui::PictureCorner(kPictures[i], client.right - client.left,
                                           client.bottom - client.top, slot.width, slot.height);
    BitBlt(dc, at.x, at.y, slot.width, slot.height, slot.surface.Get(), 0, 0, SRCCOPY);
  }
}

// The program ends with the main dialog, however it was closed.
void BackdropDialog::RunMainDialog() {
  ui::CreatorDialog creator(platform, imagePath);
  creator.DoModal();
  madeRescueDisk = creator.MadeRescueDisk();
  PostQuitMessage(0);
}

}  // namespace corvane::app
