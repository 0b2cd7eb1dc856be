// Resource identifiers of the configuration dialog, shared by its resource script and its code.
#pragma once

#define IDD_CONFIGURATION 129
#define IDR_CONFIGURATION_MENU 130

#define IDC_SETTINGS_TREE 1001 // right: the settings of the edit step
#define IDC_STEP_TREE 1003     // left: the eight steps

// Menu bar positions of the popups.
#define CONFIG_POPUP_FILE 0
#define CONFIG_POPUP_TIMEOUT 1
#define CONFIG_POPUP_PANEL_LEVEL 2
#define CONFIG_POPUP_SCREEN_SAVER 3
#define CONFIG_POPUP_PERFORMANCE 4
#define CONFIG_POPUP_CLOCK 5

// "File"
#define IDM_CONFIG_RENAME 32812
#define IDM_CONFIG_SAVE 32809
#define IDM_CONFIG_LOAD_DEFAULT 32813
#define IDM_CONFIG_EXIT 32810

// "Time out": 32793 to 32808 without 32796, then "Never".
#define IDM_TIMEOUT_1_MINUTE 32793
#define IDM_TIMEOUT_2_MINUTES 32794
#define IDM_TIMEOUT_3_MINUTES 32795
#define IDM_TIMEOUT_5_MINUTES 32797
#define IDM_TIMEOUT_10_MINUTES 32798
#define IDM_TIMEOUT_15_MINUTES 32799
#define IDM_TIMEOUT_20_MINUTES 32800
#define IDM_TIMEOUT_25_MINUTES 32801
#define IDM_TIMEOUT_30_MINUTES 32802
#define IDM_TIMEOUT_45_MINUTES 32803
#define IDM_TIMEOUT_1_HOUR 32804
#define IDM_TIMEOUT_2_HOURS 32805
#define IDM_TIMEOUT_3_HOURS 32806
#define IDM_TIMEOUT_4_HOURS 32807
#define IDM_TIMEOUT_5_HOURS 32808
#define IDM_TIMEOUT_NEVER 32811

// "Panel Level": level 1 ("6%") to level 15 ("100%") is the command minus 32774.
#define IDM_PANEL_LEVEL_FIRST 32775
#define IDM_PANEL_LEVEL_LAST 32789

// "Screen Saver"
#define IDM_SCREEN_SAVER_ON 33000
#define IDM_SCREEN_SAVER_OFF 33001

// "CPU Performance": the levels L0 to L3.
#define IDM_PERFORMANCE_L0 32771
#define IDM_PERFORMANCE_L1 32772
#define IDM_PERFORMANCE_L2 32773
#define IDM_PERFORMANCE_L3 32774

// "CPU Clock", deleted whenever the dialog opens.
#define IDM_CLOCK_1000 32814
