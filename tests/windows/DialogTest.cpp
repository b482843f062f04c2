// The dialogs in-process under Wine, driven by messages, with the disk
// services faked.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/BackdropDialog.h"
#include "disk/SectorAccess.h"
#include "tests/support/AtaDrives.h"
#include "tests/support/DiskImages.h"
#include "tests/support/FakePlatform.h"
#include "tests/windows/UiScript.h"
#include "ui/CommonControls.h"
#include "ui/CreatorDialog.h"
#include "ui/Resource.h"

namespace corvane::testing {
namespace {

using Step = UiScript::Step;

const std::string kCreatorCaption = " Corvane : Rescue Disk Creator";
const std::string kAdministratorMessage =
    "You must have administrator privileges to run this program !";
const std::string kFamilyMessage = "Corvane runs only in Windows NT/XP/2000 !";
const std::string kSuccess = "Corvane Disk Successfully Created";

HICON MessageBoxIcon(HWND box) {
  constexpr int kIconControl = 0x0440;
  return reinterpret_cast<HICON>(SendDlgItemMessageA(box, kIconControl, STM_GETICON, 0, 0));
}

// Waits for the message box, checks its caption and icon and dismisses it.
Step Answer(const std::string& text, LPCSTR icon = IDI_EXCLAMATION) {
  return [text, icon] {
    HWND box = FindMessageBox(text);
    if (box == nullptr) {
      return false;
    }
    EXPECT_EQ(WindowText(box), "Corvane") << text;
    EXPECT_EQ(MessageBoxIcon(box), LoadIconA(nullptr, icon)) << text;
    Click(box, IDOK);
    return true;
  };
}

Step Do(const std::function<void()>& action) {
  return [action] {
    action();
    return true;
  };
}

std::string ListText(HWND list, int row, int column) {
  std::array<char, 256> text{};
  ListView_GetItemText(list, row, column, text.data(), static_cast<int>(text.size()));
  return text.data();
}

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() {
    drive.identifyData = IdentifyData("WD-WMAJ91234567", "WDC WD800JB-00JJC0");
    drive.geometry = Geometry{9729, 255, 63, 512};
    AddAtaDrive(platform, 0, drive);
    const disk::Sector bootSector = FormattedBootSector(rescue::kStandardFloppyBpb);
    platform.files["os\\bs"].assign(bootSector.begin(), bootSector.end());
    platform.files["os\\bootcore.bin"] = Bytes("KERNEL", 2000);
    platform.AddDevice(disk::kFloppyDeviceName, 2880);
    ShipUefiPrograms(platform);
    FormatRescueFloppy(platform);
    PutLogicalChain(platform.Device(disk::PhysicalDriveName(0)), 63, 2);
  }

  INT_PTR RunCreator(std::vector<Step> steps) {
    ui::CreatorDialog dialog(platform);
    UiScript script(std::move(steps));
    return script.Run([&] { return dialog.DoModal(); });
  }

  // Waits for the main dialog to be up and ready for input.
  Step Creator() {
    return [this] {
      creator = FindDialog(kCreatorCaption);
      list = GetDlgItem(creator, IDC_DISK_LIST);
      return creator != nullptr && IsWindowEnabled(creator) != FALSE;
    };
  }

  [[nodiscard]] bool CreateButtonEnabled() const {
    return IsWindowEnabled(GetDlgItem(creator, IDC_CREATE_RESCUE_DISK)) != FALSE;
  }

  std::vector<std::string> transcript;
  FakePlatform platform{transcript};
  AtaDrive drive;
  HWND creator = nullptr;
  HWND list = nullptr;
};

TEST_F(DialogTest, WithoutAdministratorRightsTheDialogEndsAfterItsMessage) {
  platform.unopenable.insert(disk::PhysicalDriveName(0));
  EXPECT_EQ(RunCreator({Answer(kAdministratorMessage)}), IDOK);

  platform.systemVersion |= 0x80000000U;
  EXPECT_EQ(RunCreator({Answer(kAdministratorMessage), Answer(kFamilyMessage)}), IDOK);
}

TEST_F(DialogTest, OutsideTheNtFamilyTheDialogStaysUsable) {
  platform.systemVersion |= 0x80000000U;
  EXPECT_EQ(
      RunCreator({Answer(kFamilyMessage), Creator(), Do([this] { Click(creator, IDCANCEL); })}),
      IDCANCEL);
}

TEST_F(DialogTest, ListsTheDisksWithTheirColumnsColourAndIcon) {
  AtaDrive second;
  AddAtaDrive(platform, 1, second);
  RunCreator({Creator(), Do([this] {
                const std::array<std::pair<const char*, int>, 4> columns = {
                    {{"Hard Disks", 130},
                     {"Serial Number", 100},
                     {"Model Number", 100},
                     {"Capacity (Giga Bytes)", 150}}};
                for (int i = 0; i < 4; ++i) {
                  std::array<char, 64> title{};
                  LVCOLUMNA column{};
                  column.mask = LVCF_TEXT | LVCF_WIDTH;
                  column.pszText = title.data();
                  column.cchTextMax = static_cast<int>(title.size());
                  ListView_GetColumn(list, i, &column);
                  EXPECT_STREQ(title.data(), columns.at(i).first);
                  EXPECT_EQ(column.cx, columns.at(i).second);
                }
                EXPECT_EQ(ListView_GetTextColor(list), RGB(132, 0, 132));
                // The dialog releases the image list; the list view must not.
                EXPECT_NE(GetWindowLongA(list, GWL_STYLE) & LVS_SHAREIMAGELISTS, 0);
                EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(list, LVSIL_SMALL)), 1);
                ASSERT_EQ(ListView_GetItemCount(list), 2);
                EXPECT_EQ(ListText(list, 0, 0), "Physical Disk 0");
                EXPECT_EQ(ListText(list, 0, 1), "WD-WMAJ91234567");
                EXPECT_EQ(ListText(list, 0, 2), "WDC WD800JB-00JJC0");
                EXPECT_EQ(ListText(list, 0, 3), "78.0 GB");
                EXPECT_EQ(ListText(list, 1, 0), "Physical Disk 1");
                EXPECT_EQ(ListText(list, 1, 3), "");
                EXPECT_EQ(GetFocus(), list);
                EXPECT_EQ(ControlText(creator, IDC_STATUS), "");
                HMENU menu = GetSystemMenu(creator, FALSE);
                const int items = GetMenuItemCount(menu);
                EXPECT_EQ(GetMenuItemID(menu, items - 1), 16U);
                EXPECT_EQ(GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR,
                          UINT{MF_SEPARATOR});
                std::array<char, 64> entry{};
                GetMenuStringA(menu, items - 1, entry.data(), static_cast<int>(entry.size()),
                               MF_BYPOSITION);
                EXPECT_STREQ(entry.data(), "&About Corvane...");
                Click(creator, IDC_EXIT);
              })});
}

TEST_F(DialogTest, CreateWithoutASelectionOnlyAsksForOne) {
  RunCreator({Creator(), Do([this] { Click(creator, IDC_CREATE_RESCUE_DISK); }),
              Answer("Please select a disk for which rescue disk is to be created !", IDI_ASTERISK),
              Creator(), Do([this] {
                EXPECT_EQ(ControlText(creator, IDC_STATUS), "");
                EXPECT_TRUE(CreateButtonEnabled());
                Click(creator, IDCANCEL);
              })});
  EXPECT_TRUE(platform.writes.empty());
}

// The status line's pixels as the screen shows them now, which is more than
// the window has drawn: what a window draws reaches the screen only when
// flushed.
std::vector<COLORREF> ShownPixels(HWND control) {
  RECT area{};
  GetWindowRect(control, &area);
  std::vector<COLORREF> pixels;
  HDC screen = GetDC(nullptr);
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      pixels.push_back(GetPixel(screen, x, y));
    }
  }
  ReleaseDC(nullptr, screen);
  return pixels;
}

TEST_F(DialogTest, CreatesTwiceShowingTheSuccessNoticeEachTime) {
  // While each step runs (the platform call after each new status), the status
  // line must already show that status: a repaint must change no pixel.
  std::vector<std::string> unpainted;
  std::string lastStatus;
  int statuses = 0;
  platform.onCall = [&] {
    const std::string status = creator != nullptr ? ControlText(creator, IDC_STATUS) : "";
    if (status.empty() || status == lastStatus) {
      return;
    }
    lastStatus = status;
    HWND line = GetDlgItem(creator, IDC_STATUS);
    const bool pending = GetUpdateRect(line, nullptr, FALSE) != FALSE;
    const std::vector<COLORREF> shown = ShownPixels(line);
    RedrawWindow(line, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (pending || ShownPixels(line) != shown) {
      unpainted.push_back(status);
    }
    ++statuses;
  };
  int notices = 0;
  const auto run = [&] {
    return std::vector<Step>{
        Creator(), Do([this] {
          ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED,
                                LVIS_SELECTED | LVIS_FOCUSED);
          Click(creator, IDC_CREATE_RESCUE_DISK);
        }),
        [this] {
          HWND prompt = FindMessageBox("Please insert a clean, formatted floppy disk.");
          if (prompt != nullptr) {
            EXPECT_FALSE(CreateButtonEnabled()) << "disabled while it runs";
          }
          return prompt != nullptr &&
                 Answer("Please insert a clean, formatted floppy disk.", IDI_ASTERISK)();
        },
        [&] {
          HWND notice = FindDialog("Corvane");
          if (notice == nullptr || ControlText(notice, IDOK) != "O&K") {
            return false;
          }
          ++notices;
          EXPECT_EQ(ControlText(creator, IDC_STATUS), kSuccess);
          EXPECT_EQ(GetFocus(), GetDlgItem(notice, IDOK));
          Click(notice, IDOK);
          return true;
        },
        [this] { return CreateButtonEnabled(); }};
  };
  std::vector<Step> steps = run();
  std::ranges::move(run(), std::back_inserter(steps));
  steps.push_back(Do([this] { Click(creator, IDC_EXIT); }));
  RunCreator(steps);
  EXPECT_EQ(notices, 2);
  EXPECT_GE(statuses, 2 * 8);
  EXPECT_TRUE(unpainted.empty()) << "not yet painted: " << unpainted.front() << " and "
                                 << unpainted.size() - 1 << " more";
  const FakeDevice& floppy = platform.Device(disk::kFloppyDeviceName);
  const FakeDevice& disk = platform.Device(disk::PhysicalDriveName(0));
  EXPECT_EQ(floppy.GetSector(3), ControlBufferOf({0, 0, 63, 63 + 2048}));
  EXPECT_EQ(floppy.GetSector(4), disk.GetSector(0));
}

// Without a floppy drive the user picks the stick from the list, and the
// question before it is erased has No as its default button.
TEST_F(DialogTest, WritesTheStickChosenInTheListAfterAQuestionThatDefaultsToNo) {
  platform.floppyDrive = false;
  AddVolume(platform, "C:", {0});
  AddVolume(platform, "E:", {1});
  const FakeDevice& stick = AddUsbDisk(platform, 1, 8'004'304'896, "Cruzer Blade");
  const std::string question =
      "All data on the USB drive USB Cruzer Blade (8.0 GB, E:) will be erased.\nWrite the rescue "
      "disk to it?";
  RunCreator(
      {Creator(), Do([this] {
         ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
         Click(creator, IDC_CREATE_RESCUE_DISK);
       }),
       [] {
         HWND chooser = FindDialog("Corvane");
         HWND choices = GetDlgItem(chooser, IDC_DESTINATIONS);
         if (choices == nullptr) {
           return false;
         }
         EXPECT_EQ(SendMessageA(choices, LB_GETCOUNT, 0, 0), 3);
         std::array<char, 256> first{};
         SendMessageA(choices, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first.data()));
         EXPECT_STREQ(first.data(), "USB drive USB Cruzer Blade (8.0 GB, E:)");
         EXPECT_EQ(SendMessageA(choices, LB_GETCURSEL, 0, 0), 0);
         Click(chooser, IDOK);
         return true;
       },
       [&question] {
         HWND box = FindMessageBox(question);
         if (box == nullptr) {
           return false;
         }
         EXPECT_EQ(GetFocus(), GetDlgItem(box, IDNO)) << "No is the default";
         Click(box, IDYES);
         return true;
       },
       [this] {
         HWND notice = FindDialog("Corvane");
         if (notice == nullptr || ControlText(notice, IDOK) != "O&K") {
           return false;
         }
         Click(notice, IDOK);
         return true;
       },
       [] {
         HWND advice = FindDialog("Corvane");
         if (advice == nullptr || GetDlgItem(advice, 0xFFFF) == nullptr ||
             !WindowText(GetDlgItem(advice, 0xFFFF)).starts_with("The rescue disk was written")) {
           return false;
         }
         Click(advice, IDOK);
         return true;
       },
       Do([this] { Click(creator, IDC_EXIT); })});
  EXPECT_EQ(stick.GetSector(0), platform.Device(disk::kFloppyDeviceName).GetSector(0))
      << "the boot sector, as on a floppy";
}

TEST_F(DialogTest, OpensAFreshAboutBoxFromTheButtonAndTheSystemMenu) {
  std::vector<HWND> boxes;
  const auto about = [&](int homePageClicks) {
    return [&boxes, homePageClicks] {
      HWND box = FindDialog("About Corvane");
      if (box == nullptr) {
        return false;
      }
      boxes.push_back(box);
      EXPECT_EQ(GetFocus(), GetDlgItem(box, IDOK));
      for (int i = 0; i < homePageClicks; ++i) {
        Click(box, IDC_HOME_PAGE);
      }
      PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
      return true;
    };
  };
  RunCreator({Creator(), Do([this] { Click(creator, IDC_ABOUT); }), about(3), Creator(),
              Do([this] { PostMessageA(creator, WM_SYSCOMMAND, 16, 0); }), about(0), Creator(),
              Do([this] { PostMessageA(creator, WM_SYSCOMMAND, 31, 0); }), about(0), Creator(),
              Do([this] { Click(creator, IDCANCEL); })});
  EXPECT_EQ(boxes.size(), 3U);
  // Explorer by its full path, never looked for in the program's folder.
  std::array<char, MAX_PATH> windows{};
  GetSystemWindowsDirectoryA(windows.data(), windows.size());
  const std::string command =
      "\"" + std::string(windows.data()) + "\\explorer.exe\" http://www.corvane.example/ /show 5";
  EXPECT_EQ(platform.startedPrograms, std::vector<std::string>(3, command));
}

// The analyzer loses track of the steps' std::function storage in the
// initializer lists and reports a leak that ASan does not see.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
TEST_F(DialogTest, EnterEscapeAndTheCloseBoxEndTheDialog) {
  const auto key = [this](WPARAM key) {
    return Do([this, key] { PostMessageA(GetFocus(), WM_KEYDOWN, key, 0); });
  };
  EXPECT_EQ(RunCreator({Creator(), key(VK_RETURN)}), IDOK);
  EXPECT_EQ(RunCreator({Creator(), key(VK_ESCAPE)}), IDCANCEL);
  EXPECT_EQ(
      RunCreator({Creator(), Do([this] { PostMessageA(creator, WM_SYSCOMMAND, SC_CLOSE, 0); })}),
      IDCANCEL);
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

// One control of a compiled DIALOG (not DIALOGEX) template.
struct CompiledControl {
  DWORD style;
  short width;
  short height;
  std::wstring className;
  std::wstring text;
};

// A name or an ordinal, which reads as "#" and its number.
std::wstring ReadNameOrOrdinal(const WORD*& at) {
  if (*at == 0xFFFF) {
    std::wstring ordinal = L"#" + std::to_wstring(at[1]);
    at += 2;
    return ordinal;
  }
  std::wstring name;
  while (*at != 0) {
    name += static_cast<wchar_t>(*at++);
  }
  ++at;
  return name;
}

// What windres made of the resource script, read from the program's resources.
std::vector<CompiledControl> CompiledControls(int dialogId) {
  static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(dialogId), MAKEINTRESOURCEA(5));
  const auto* dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, found)));
  const auto* at = reinterpret_cast<const WORD*>(dialog + 1);
  for (int name = 0; name < 3; ++name) {  // menu, class, caption
    ReadNameOrOrdinal(at);
  }
  if ((dialog->style & DS_SETFONT) != 0) {
    ++at;  // point size
    ReadNameOrOrdinal(at);
  }
  std::vector<CompiledControl> controls;
  for (int i = 0; i < dialog->cdit; ++i) {
    const auto aligned = (reinterpret_cast<std::uintptr_t>(at) + 3) & ~std::uintptr_t{3};
    const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(aligned);
    at = reinterpret_cast<const WORD*>(item + 1);
    std::wstring className = ReadNameOrOrdinal(at);
    std::wstring text = ReadNameOrOrdinal(at);
    at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at + 1) + *at);
    controls.push_back({item->style, item->cx, item->cy, std::move(className), std::move(text)});
  }
  return controls;
}

TEST(DialogTemplateTest, StaticTextsStartAGroupAndIconsKeepTheirSize) {
  for (const int dialogId : {IDD_ABOUT, IDD_SUCCESS_NOTICE}) {
    int icons = 0;
    for (const CompiledControl& control : CompiledControls(dialogId)) {
      if (control.className != L"#130" && control.className != L"STATIC") {
        continue;
      }
      if ((control.style & SS_TYPEMASK) == SS_ICON) {
        ++icons;
        EXPECT_GE(control.width, 20) << dialogId;
        EXPECT_EQ(control.height, 20) << dialogId;
      } else {
        EXPECT_NE(control.style & WS_GROUP, 0U) << dialogId << " " << control.text;
      }
    }
    EXPECT_EQ(icons, dialogId == IDD_ABOUT ? 1 : 2);
  }
}

// The loader's DLL calls, recorded in order; loads and look-ups go on to
// Windows, so the functions found are real ones.
std::vector<std::string> dllCallLog;

constexpr std::string_view kSystemFolder = "C:\\windows\\system32";

std::string Hex(DWORD value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << value;
  return text.str();
}

BOOL WINAPI RecordSetDllDirectory(LPCSTR path) {
  dllCallLog.push_back(std::string("SetDllDirectoryA(\"") + path + "\")");
  return TRUE;
}

BOOL WINAPI RecordSetDefaultDllDirectories(DWORD flags) {
  dllCallLog.push_back("SetDefaultDllDirectories(" + Hex(flags) + ")");
  return TRUE;
}

// As GetSystemDirectoryA answers: the size needed, terminating null
// included, for a buffer too small; the length copied otherwise.
UINT WINAPI SystemFolder(LPSTR buffer, UINT size) {
  const auto length = static_cast<UINT>(kSystemFolder.size());
  if (size <= length) {
    return length + 1;
  }
  kSystemFolder.copy(buffer, length);
  buffer[length] = '\0';
  return length;
}

HMODULE WINAPI RecordLoadLibraryEx(LPCSTR path, HANDLE file, DWORD flags) {
  dllCallLog.push_back(std::string("LoadLibraryExA(") + path + ", " + Hex(flags) + ")");
  return LoadLibraryExA(path, file, flags);
}

BOOL WINAPI RecordFreeLibrary(HMODULE module) {
  dllCallLog.emplace_back("FreeLibrary");
  return FreeLibrary(module);
}

// Wine has SetDefaultDllDirectories, which makes even a load by bare name
// safe; older Windows lack it (Vista and 7 without their update) or also
// SetDllDirectoryA (Windows 2000). There comctl32 must still come from the
// system folder by full path, after every restriction that Windows has.
TEST(SystemLibraryTest, ComesByFullPathAfterEveryRestrictionTheWindowsHas) {
  struct OlderWindows {
    const char* name;
    bool hasSetDllDirectory;
    bool hasSetDefaultDllDirectories;
    std::vector<std::string> calls;
  };
  const std::string load = "LoadLibraryExA(C:\\windows\\system32\\comctl32.dll, ";
  const std::string clearDllDirectory = "SetDllDirectoryA(\"\")";
  for (const OlderWindows& windows :
       {OlderWindows{
            "8",
            true,
            true,
            {clearDllDirectory, "SetDefaultDllDirectories(0x800)", load + "0x800)", "FreeLibrary"}},
        OlderWindows{"XP", true, false, {clearDllDirectory, load + "0x8)", "FreeLibrary"}},
        OlderWindows{"2000", false, false, {load + "0x8)", "FreeLibrary"}}}) {
    SCOPED_TRACE(windows.name);
    const ui::DllCalls calls{
        windows.hasSetDllDirectory ? RecordSetDllDirectory : nullptr,
        windows.hasSetDefaultDllDirectories ? RecordSetDefaultDllDirectories : nullptr,
        SystemFolder,
        RecordLoadLibraryEx,
        GetProcAddress,
        RecordFreeLibrary};
    dllCallLog.clear();
    ui::RestrictDllSearch(calls);
    {
      const ui::CommonControls controls(calls);
      EXPECT_NE(controls.initCommonControls, nullptr);
      EXPECT_NE(controls.imageListDestroy, nullptr);
    }
    EXPECT_EQ(dllCallLog, windows.calls);
  }
  // Wine has both, as Windows 8 does: the program finds them.
  EXPECT_NE(ui::Win32DllCalls().setDllDirectory, nullptr);
  EXPECT_NE(ui::Win32DllCalls().setDefaultDllDirectories, nullptr);
}

// The backdrop's scene painted into a memory bitmap of a given client size.
class Scene {
 public:
  Scene(app::BackdropDialog& backdrop, int width, int height) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    previous = SelectObject(dc, bitmap);
    const RECT client{0, 0, width, height};
    backdrop.PaintScene(dc, client);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
  Scene(Scene&&) = delete;
  Scene& operator=(Scene&&) = delete;
  ~Scene() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }

  [[nodiscard]] COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }

 private:
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
};

// The pictures' corners and painting order, seen in the pixels of a client
// area narrower than 768 pixels and of a wide one.
void ExpectPicturesInPlace(app::BackdropDialog& backdrop) {
  const Scene narrow(backdrop, 700, 500);
  const Scene wide(backdrop, 1000, 500);
  EXPECT_EQ(narrow.At(5, 5), app::kBackdropColour);
  EXPECT_EQ(narrow.At(699, 499), wide.At(999, 150));
  int pieElsewhere = 0;
  int titleCovered = 0;
  // Where the pie chart (x 498 in the narrow scene, 798 in the wide one)
  // overlaps the title (10 to 566 across), the pie chart is on top.
  for (int y = 20; y < 100; ++y) {
    for (int x = 498; x < 566; ++x) {
      pieElsewhere += narrow.At(x, y) != wide.At(x + 300, y) ? 1 : 0;
      titleCovered += narrow.At(x, y) != wide.At(x, y) ? 1 : 0;
    }
  }
  EXPECT_EQ(pieElsewhere, 0);
  EXPECT_GT(titleCovered, 0);
  // The blurb stands on the bottom edge, 50 pixels from the left.
  int blurbDiffers = 0;
  int blurbDrawn = 0;
  for (int y = 344; y < 500; ++y) {
    for (int x = 50; x < 700; x += 3) {
      blurbDiffers += narrow.At(x, y) != wide.At(x, y) ? 1 : 0;
      blurbDrawn += narrow.At(x, y) != app::kBackdropColour ? 1 : 0;
    }
  }
  EXPECT_EQ(blurbDiffers, 0);
  EXPECT_GT(blurbDrawn, 0);
}

int WindowsCaptioned(const std::string& caption) {
  const std::vector<HWND> windows = DialogWindows();
  return static_cast<int>(
      std::ranges::count_if(windows, [&](HWND window) { return WindowText(window) == caption; }));
}

// The backdrop's first paint runs the main dialog; the paints after it only
// repaint, from the bitmaps loaded the first time.
TEST_F(DialogTest, LaterBackdropPaintsOpenNoSecondDialog) {
  app::BackdropDialog backdrop(platform);
  ui::SetMainWindow(&backdrop);
  std::array<HBITMAP, 3> loaded{};
  UiScript script({Creator(), Do([&] {
                     EXPECT_NE(IsZoomed(backdrop.Handle()), FALSE);
                     for (int i = 0; i < 3; ++i) {
                       loaded.at(i) = backdrop.PictureBitmap(static_cast<ui::Picture>(i));
                       EXPECT_NE(loaded.at(i), nullptr);
                     }
                     ExpectPicturesInPlace(backdrop);
                     for (int i = 0; i < 3; ++i) {
                       InvalidateRect(backdrop.Handle(), nullptr, TRUE);
                       UpdateWindow(backdrop.Handle());
                     }
                   }),
                   Do([&] {
                     EXPECT_EQ(WindowsCaptioned(kCreatorCaption), 1);
                     for (int i = 0; i < 3; ++i) {
                       EXPECT_EQ(backdrop.PictureBitmap(static_cast<ui::Picture>(i)), loaded.at(i));
                     }
                     EXPECT_EQ(GetParent(creator) != nullptr ? GetParent(creator)
                                                             : GetWindow(creator, GW_OWNER),
                               backdrop.Handle());
                     Click(creator, IDC_EXIT);
                   })});
  script.Run([&] { return backdrop.DoModal(); });
  ui::SetMainWindow(nullptr);
}

}  // namespace
}  // namespace corvane::testing
