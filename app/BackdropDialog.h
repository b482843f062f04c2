#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "platform/Platform.h"
#include "ui/Layout.h"
#include "ui/ModalDialog.h"
#include "ui/UniqueHandle.h"

namespace corvane::app {

inline constexpr COLORREF kBackdropColour = RGB(212, 208, 200);

inline BOOL WINAPI DeleteBitmap(HBITMAP bitmap) { return DeleteObject(bitmap); }

// One picture: a screen-compatible surface with its bitmap selected into it
// for the backdrop's whole life. The bitmap is declared first, so that the
// surface holding it is deleted before it.
struct PictureSlot {
  ui::UniqueHandle<HBITMAP, DeleteBitmap> bitmap;
  ui::UniqueHandle<HDC, DeleteDC> surface;
  int height = 0;
  int width = 0;
};

// The full-screen stage behind the program's dialogs. Its first paint loads
// the pictures and runs the main dialog; when that ends, so does the program.
class BackdropDialog final : public ui::ModalDialog {
 public:
  // imagePath: see ui::CreatorDialog.
  explicit BackdropDialog(platform::Platform& platform,
                          std::optional<std::string> imagePath = std::nullopt);

  // Fills the client area and copies the three pictures to their corners.
  void PaintScene(HDC dc, const RECT& client);
  [[nodiscard]] HBITMAP PictureBitmap(ui::Picture picture) const;
  // Whether the main dialog made a rescue disk before it ended.
  [[nodiscard]] bool MadeRescueDisk() const { return madeRescueDisk; }

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void OnPaint();
  void LoadPictures(HDC screen);
  void RunMainDialog();

  platform::Platform& platform;
  std::optional<std::string> imagePath;
  std::array<PictureSlot, 3> slots;
  bool madeRescueDisk = false;
};

}  // namespace corvane::app
