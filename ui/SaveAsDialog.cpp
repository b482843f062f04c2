#include "ui/SaveAsDialog.h"

#include <commdlg.h>

#include <array>

#include "rescue/RescueImage.h"

namespace corvane::ui {
namespace {

using SaveFileName = BOOL(WINAPI*)(LPOPENFILENAMEA);

// The common dialogs come from the system folder by full path, never from the
// folder the program was started in.
class CommonDialogs {
 public:
  CommonDialogs() {
    std::array<char, MAX_PATH> folder{};
    const UINT length = GetSystemDirectoryA(folder.data(), static_cast<UINT>(folder.size()));
    if (length > 0 && length < folder.size()) {
      library = LoadLibraryA((std::string(folder.data(), length) + "\\comdlg32.dll").c_str());
    }
  }
  CommonDialogs(const CommonDialogs&) = delete;
  CommonDialogs& operator=(const CommonDialogs&) = delete;
  CommonDialogs(CommonDialogs&&) = delete;
  CommonDialogs& operator=(CommonDialogs&&) = delete;
  ~CommonDialogs() {
    if (library != nullptr) {
      FreeLibrary(library);
    }
  }

  [[nodiscard]] SaveFileName GetSaveFileName() const {
    return library == nullptr
               ? nullptr
               : reinterpret_cast<
                     SaveFileName>(  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
                     reinterpret_cast<void*>(GetProcAddress(library, "GetSaveFileNameA")));
  }

 private:
  HMODULE library = nullptr;
};

constexpr char kImageTypes[] = "CD image (*.iso)\0*.iso\0Floppy image (*.img)\0*.img\0";
constexpr DWORD kCdImageType = 1;

}  // namespace

std::optional<std::string> ChooseRescueImageFile(HWND owner, const std::string& defaultName) {
  const CommonDialogs dialogs;
  SaveFileName saveFileName = dialogs.GetSaveFileName();
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
