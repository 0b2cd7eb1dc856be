// Resource identifiers of the tray program, shared by the resource script and the code.
#pragma once

#define IDS_APP_TITLE 103 // "Lumora": the main window's title
#define IDS_CLASS_NAME 109 // "LUMORA": the main window's class
#define IDS_CAPTION 110 // "Kelvane": the caption of every message box
