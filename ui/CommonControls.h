#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "ui/SystemLibrary.h"

namespace corvane::ui {

// The common controls functions that the program calls, taken from the
// system folder's comctl32.dll (a SystemLibrary), which the program does not
// import: comctl32 is not one of Windows' known DLLs, so an import of it would
// be looked for in the program's folder first. Each is nullptr where the
// library could not be loaded or lacks it.
struct CommonControls {
  explicit CommonControls(const DllCalls& calls = Win32DllCalls());

  SystemLibrary library;
  decltype(&::InitCommonControls) initCommonControls =
      library.Function<decltype(::InitCommonControls)>("InitCommonControls");
  decltype(&::ImageList_Create) imageListCreate =
      library.Function<decltype(::ImageList_Create)>("ImageList_Create");
  decltype(&::ImageList_ReplaceIcon) imageListReplaceIcon =
      library.Function<decltype(::ImageList_ReplaceIcon)>("ImageList_ReplaceIcon");
  decltype(&::ImageList_Destroy) imageListDestroy =
      library.Function<decltype(::ImageList_Destroy)>("ImageList_Destroy");
};

// The program's calls, through one CommonControls loaded at the first call
// that stays loaded for the program's life, as the window classes it
// registers do. Where comctl32 could not be loaded, each call fails as its
// comctl32 function does.

// Registers the list view class (InitCommonControls); false without comctl32.
bool LoadCommonControls();
HIMAGELIST CreateImageList(int width, int height, UINT flags, int initial, int growth);
// ImageList_AddIcon: the icon's index in the list, or -1.
int AddImageListIcon(HIMAGELIST list, HICON icon);
BOOL WINAPI DestroyImageList(HIMAGELIST list);

}  // namespace corvane::ui
