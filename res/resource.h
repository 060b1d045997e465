// Resource identifiers shared by the resource scripts and the code.
// Kept free of C++ so windres can include it.
#ifndef PERIMAND_RES_RESOURCE_H
#define PERIMAND_RES_RESOURCE_H

// String table: tooltip texts, version dialog lines, titles.
#define IDS_ON_LINE                 101
#define IDS_BATTERY_NORMAL          102
#define IDS_COMMUNICATION_NORMAL    103
#define IDS_COMMUNICATION_LOST      104
#define IDS_AC_FAIL                 105
#define IDS_BATTERY_LOW             106
#define IDS_AGENT_STOP              107
#define IDS_VERSION_LINE            108
#define IDS_LEGAL_NOTICE            109
#include "framework/AfxRes.h"   // AFX_IDS_APP_TITLE

// The hidden frame's resources (title string, menu, accelerators, icon).
#define IDR_MAINFRAME               128

// Tray menu and its commands.
#define IDR_TRAY_MENU               131
#define ID_CONFIGURATION            32771
#define ID_AGENT_START              32772
#define ID_TRAY_CLOSE               32773
#define ID_VERSION_INFORMATION      32774
#define ID_AGENT_STOP               32776

// Commands of the frame's own menu and accelerators; they never reach
// the hidden, disabled frame.
#define ID_EDIT_COPY                57634
#define ID_EDIT_CUT                 57635
#define ID_EDIT_PASTE               57637
#define ID_EDIT_UNDO                57643
#define ID_APP_ABOUT                57664
#define ID_APP_EXIT                 57665
#define ID_NEXT_PANE                57680
#define ID_PREV_PANE                57681

// Version dialog.
#define IDD_ABOUTBOX                141
#define IDC_VERSION_TEXT            1001
#define IDC_LEGAL_TEXT              1002
#define IDC_ABOUT_OK                1004

// Tray icons, one per kind of status.
#define IDI_ON_LINE                 133
#define IDI_AGENT_STOP              134
#define IDI_COMMUNICATION_LOST      135
#define IDI_ON_BATTERY              136

#endif
