// Resource identifiers of the tray program, shared by the resource script and the code.
#pragma once

#define IDS_APP_TITLE 103 // "Lumora": the main window's title
#define IDS_CLASS_NAME 109 // "LUMORA": the main window's class
#define IDS_CAPTION 110 // "Kelvane": the caption of every message box

#define IDC_LUMORA 109 // menu bar and accelerators of the main window
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105

// Step icons (each group holds the badge at 16, 20, 24, 32 and 48 pixels); step 1's is also the
// program's icon.
#define IDI_STEP1 133
#define IDI_STEP2 134
#define IDI_STEP3 135
#define IDI_STEP4 136
#define IDI_STEP5 141
#define IDI_STEP6 145
#define IDI_STEP7 146
#define IDI_STEP8 147

// Strips of the eight step images on blue, for the configuration dialog's trees: 16 pixels, and
// 20, 24 and 32 for a small-icon size scaled to 125, 150 and 200 %.
#define IDB_STEP_IMAGES 138
#define IDB_STEP_IMAGES_20 139
#define IDB_STEP_IMAGES_24 140
#define IDB_STEP_IMAGES_32 142

#define IDC_STATIC -1
