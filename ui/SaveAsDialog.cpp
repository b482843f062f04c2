#include "ui/SaveAsDialog.h"

#include <commdlg.h>

#include <array>

#include "rescue/RescueImage.h"
#include "ui/SystemLibrary.h"

namespace corvane::ui {
namespace {

constexpr char kImageTypes[] = "CD image (*.iso)\0*.iso\0Floppy image (*.img)\0*.img\0";
constexpr DWORD kCdImageType = 1;

}  // namespace

std::optional<std::string> ChooseRescueImageFile(HWND owner, const std::string& defaultName) {
  // From the system folder by full path, like every DLL the program loads.
  const SystemLibrary commonDialogs("comdlg32.dll");
  auto* saveFileName = commonDialogs.Function<decltype(GetSaveFileNameA)>("GetSaveFileNameA");
  if (saveFileName == nullptr) {
    return std::nullopt;
  }
  std::array<char, MAX_PATH> path{};
  defaultName.copy(path.data(), path.size() - 1);
  OPENFILENAMEA request{};
  request.lStructSize = sizeof(request);
  request.hwndOwner = owner;
  request.lpstrFilter = kImageTypes;
  request.nFilterIndex = kCdImageType;
  request.lpstrFile = path.data();
  request.nMaxFile = static_cast<DWORD>(path.size());
  request.lpstrDefExt = "iso";
  request.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (saveFileName(&request) == FALSE) {
    return std::nullopt;
  }
  return rescue::WithImageExtension(path.data(), request.nFilterIndex == kCdImageType
                                                     ? rescue::ImageKind::Cd
                                                     : rescue::ImageKind::Floppy);
}

}  // namespace corvane::ui
