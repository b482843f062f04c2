#include "ui/SaveAsDialog.h"

#include <commdlg.h>

#include <array>

#include "platform/Utf16.h"
#include "rescue/RescueImage.h"
#include "ui/SystemLibrary.h"

namespace corvane::ui {
namespace {

constexpr wchar_t kImageTypes[] = L"CD image (*.iso)\0*.iso\0Floppy image (*.img)\0*.img\0";
constexpr DWORD kCdImageType = 1;
constexpr DWORD kFloppyImageType = 2;

using SaveFileName = decltype(GetSaveFileNameW);

// The dialog itself, starting from name and the type its extension names: the path it
// returns with the chosen type's extension when the name has neither, or
// nothing on Cancel.
std::optional<std::string> AskForImagePath(SaveFileName* saveFileName, HWND owner,
                                           const std::string& name) {
  std::array<wchar_t, MAX_PATH> path{};
  platform::ToUtf16(name).copy(path.data(), path.size() - 1);
  OPENFILENAMEW request{};
  request.lStructSize = sizeof(request);
  request.hwndOwner = owner;
  request.lpstrFilter = kImageTypes;
  const bool floppy = rescue::ImageKindOf(name) == rescue::ImageKind::Floppy;
  request.nFilterIndex = floppy ? kFloppyImageType : kCdImageType;
  request.lpstrFile = path.data();
  request.nMaxFile = static_cast<DWORD>(path.size());
  request.lpstrDefExt = floppy ? L"img" : L"iso";
  // No overwrite prompt of the dialog's: it would ask about the name as typed,
  // before the type's extension is added.
  request.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (saveFileName(&request) == FALSE) {
    return std::nullopt;
  }
  return rescue::WithImageExtension(
      platform::ToUtf8(path.data()),
      request.nFilterIndex == kCdImageType ? rescue::ImageKind::Cd : rescue::ImageKind::Floppy);
}

// The dialog's own question, about the file that will be written.
bool MayReplace(HWND owner, const std::string& path) {
  const std::wstring widePath = platform::ToUtf16(path);
  if (GetFileAttributesW(widePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  const std::wstring question = widePath + L" already exists.\nDo you want to replace it?";
  return MessageBoxW(owner, question.c_str(), L"Confirm Save As",
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

}  // namespace

std::optional<std::string> ChooseRescueImageFile(HWND owner, const std::string& defaultName) {
  // From the system folder by full path, like every DLL the program loads.
  const SystemLibrary commonDialogs("comdlg32.dll");
  auto* saveFileName = commonDialogs.Function<SaveFileName>("GetSaveFileNameW");
  if (saveFileName == nullptr) {
    return std::nullopt;
  }
  std::optional<std::string> path = AskForImagePath(saveFileName, owner, defaultName);
  while (path && !MayReplace(owner, *path)) {
    path = AskForImagePath(saveFileName, owner, *path);
  }
  return path;
}

}  // namespace corvane::ui
