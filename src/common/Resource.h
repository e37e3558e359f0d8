#pragma once
// Resource identifiers of the program (string table, dialogs and their controls, icon).

// String table.
#define IDS_APP_TITLE 501            // "Tallyworks Update" (window title)
#define IDS_DEFAULT_VERSION 502      // "Version 12.1"
#define IDS_MSGBOX_TITLE 503         // "Tallyworks Update" (message box title)
#define IDS_WINDOW_CLASS 504         // "TWPatchClass"
#define IDS_PRODUCT_FRAME_CLASS 505  // "AtollFrame"
#define IDS_LOW_DISK_SPACE 520
#define IDS_CANNOT_READ_PRODUCT 521
#define IDS_UPDATE_COMPLETE 522
#define IDS_PATCH_NOT_APPLIED 526
#define IDS_INSTALLING 534
#define IDS_NULL_PATCH 541

// Icon.
#define IDI_TWPATCH 103

// Web variant's confirmation dialog ("IDD_PATCH_VIEW").
#define IDC_INSTALL_NOW 1043
#define IDC_PATCH_NOTICE 1048
#define IDC_PRODUCT_TITLE 1052

// Shutdown wait dialog.
#define IDD_SHUTDOWN_WAIT 1001
#define IDC_SHUTDOWN_TEXT 1003

// Progress (wait) dialog.
#define IDD_WAIT 1111
#define IDC_WAIT_UPPER_TEXT 302
#define IDC_WAIT_STATUS 301
#define IDC_WAIT_PERCENT_ROW0 401
#define IDC_WAIT_PERCENT_ROW1 402
#define IDC_WAIT_GREY_RECT_1 501
#define IDC_WAIT_GREY_RECT_2 502
#define IDC_WAIT_FRAME_1 601
#define IDC_WAIT_FRAME_2 602
#define IDC_WAIT_PROGRESS 703

// Operating-system support message dialog.
#define IDD_OS_SUPPORT 1054
#define IDC_OSS_HEADING 1055
#define IDC_OSS_TEXT1 1056
#define IDC_OSS_TEXT2 1057
#define IDC_OSS_TEXT3 1058
#define IDC_OSS_TEXT4 1059
#define IDC_OSS_EMPTY 1060
#define IDC_OSS_BUTTON 1061

// Version resource and manifest.
#define IDR_MANIFEST 1
