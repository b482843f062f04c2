#include "ui/CommonControls.h"

#include "ui/SystemLibrary.h"

namespace corvane::ui {
namespace {

struct CommonControls {
  SystemLibrary library{"comctl32.dll"};
  decltype(&::InitCommonControls) initCommonControls =
      library.Function<decltype(::InitCommonControls)>("InitCommonControls");
  decltype(&::ImageList_Create) imageListCreate =
      library.Function<decltype(::ImageList_Create)>("ImageList_Create");
  decltype(&::ImageList_ReplaceIcon) imageListReplaceIcon =
      library.Function<decltype(::ImageList_ReplaceIcon)>("ImageList_ReplaceIcon");
  decltype(&::ImageList_Destroy) imageListDestroy =
      library.Function<decltype(::ImageList_Destroy)>("ImageList_Destroy");
};

const CommonControls& Loaded() {
  static const CommonControls controls;
  return controls;
}

}  // namespace

bool LoadCommonControls() {
  if (Loaded().initCommonControls == nullptr) {
    return false;
  }
  Loaded().initCommonControls();
  return true;
}

HIMAGELIST CreateImageList(int width, int height, UINT flags, int initial, int growth) {
  return Loaded().imageListCreate == nullptr
             ? nullptr
             : Loaded().imageListCreate(width, height, flags, initial, growth);
}

int AddImageListIcon(HIMAGELIST list, HICON icon) {
  return Loaded().imageListReplaceIcon == nullptr ? -1
                                                  : Loaded().imageListReplaceIcon(list, -1, icon);
}

BOOL WINAPI DestroyImageList(HIMAGELIST list) {
  return Loaded().imageListDestroy == nullptr ? FALSE : Loaded().imageListDestroy(list);
}

}  // namespace corvane::ui
