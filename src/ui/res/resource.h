// Resource ids of QMXSET.EXE, one range per kind.
#pragma once

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_INSTALLER 102
#define IDD_MESSAGE 129

// Icons.
#define IDI_APP 128

// Controls.
#define IDC_MESSAGE_TEXT 1000

// Strings.
#define IDS_ABOUT_MENU 101
#define IDS_DONE_JA 102
#define IDS_REBOOT_JA 103
#define IDS_NOT_ADMIN_JA 104
#define IDS_NOT_APPLICABLE_JA 105
#define IDS_DONE_EN 106
#define IDS_REBOOT_EN 107
#define IDS_NOT_ADMIN_EN 108
#define IDS_NOT_APPLICABLE_EN 109
#define IDS_FAILED_JA 110
#define IDS_FAILED_REBOOT_JA 111
#define IDS_FAILED_EN 112
#define IDS_FAILED_REBOOT_EN 113
#define IDS_USAGE_JA 114
#define IDS_USAGE_EN 115
