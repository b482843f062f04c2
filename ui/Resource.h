#pragma once

// Resource ids, shared by the resource script and the code. Plain macros,
// because the resource compiler reads this file too.

// Dialog templates
#define IDD_ABOUT 100
#define IDD_CREATOR 102
#define IDD_BACKDROP 135
#define IDD_SUCCESS_NOTICE 151
#define IDD_DESTINATION 152

// Strings
#define IDS_ABOUT_MENU_ITEM 101

// Icons
#define IDI_PROGRAM 128
#define IDI_DISK 131

// Bitmaps
#define IDB_PIE_CHART 141
#define IDB_TITLE 144
#define IDB_BLURB 145

// Controls
#define IDC_DISK_LIST 1003
#define IDC_CREATE_RESCUE_DISK 1004
#define IDC_ABOUT 1005
#define IDC_STATUS 1006
#define IDC_EXIT 1007
#define IDC_HOME_PAGE 1026
#define IDC_DESTINATIONS 1030

// The system menu's "&About Corvane..." command.
#define IDM_ABOUT_BOX 16
