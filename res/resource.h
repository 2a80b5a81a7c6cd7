// Resource and control ids shared by the resource script and the code.
#pragma once

#define IDR_MAINFRAME            128   // group icon
#define IDD_SCOURIX_DIALOG       141
#define IDD_MESSAGE_DIALOG       142
#define IDB_ICON_INFORMATION     152
#define IDB_ICON_QUESTION        153
#define IDB_ICON_WARNING         154
#define IDB_ICON_ERROR           155
#define IDB_SKIN                 156

// Main dialog controls
#define IDC_GROUP_RESULTS        1034
#define IDC_SCAN                 1052
#define IDC_DOWNLOAD             1053
#define IDC_CLOSE_X              1054
#define IDC_RESULTS              1055
#define IDC_GROUP_STATUS         1064
#define IDC_STATUS               1065
#define IDC_FAMILY               1068
#define IDC_OK_BUTTON            1070
#define IDC_NOTICE               1072
#define IDC_TITLE                1074
#define IDC_SUITE                1075
#define IDC_SEARCHING            1076
#define IDC_DOWNLOAD_LINK        1077
#define IDC_UTILITY_LINK         1080
#define IDC_LOGO                 1085

// Message dialog controls
#define IDC_MSG_OK_ONLY          3
#define IDC_MSG_ICON             1085
#define IDC_MSG_TEXT             1086
