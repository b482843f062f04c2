#include "ui/CommonControls.h"

namespace corvane::ui {
namespace {

const CommonControls& Loaded() {
  static const CommonControls controls;
  return controls;
}

}  // namespace

CommonControls::CommonControls(const DllCalls& calls) : library("comctl32.dll", calls) {}

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
