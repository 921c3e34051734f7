// Identifiers shared by the resource script and the Windows program: dialog
// templates, controls, images, the options menu's commands and the timer.
// The resource compiler reads this file too, so it holds #define lines only.
#pragma once

// ---- Resources ---------------------------------------------------------
#define IDD_MAIN 1     // the main window
#define IDD_ABOUT 2    // the about box
#define IDI_APP 1      // program icon: 16, 32, 48 and 64 pixel images
#define IDB_BUTTONS 1  // 80 x 16 strip of five 16 x 16 button images
#define BUTTON_IMAGE_SIZE 16

// Images of the strip.
#define IMAGE_OPTIONS 0  // options button (12)
#define IMAGE_TARGET 1   // target browse button (11), enabled
#define IMAGE_SOURCE 2   // source browse button (10), enabled
#define IMAGE_TARGET_DISABLED 3
#define IMAGE_SOURCE_DISABLED 4

// ---- Main window controls ----------------------------------------------
#define IDC_CLOSE 2  // IDCANCEL: Escape and the close box
#define IDC_SOURCE_CAPTION 3
#define IDC_TARGET_CAPTION 4
#define IDC_LABEL_CAPTION 5
#define IDC_LAYOUT_CAPTION 6
#define IDC_START 7
#define IDC_BROWSE_SOURCE 10
#define IDC_BROWSE_TARGET 11
#define IDC_OPTIONS 12
#define IDC_SOURCE 13
#define IDC_TARGET 14
#define IDC_LABEL 15
#define IDC_LAYOUT 16
#define IDC_PROGRESS 17
#define IDC_PERCENT 18

// Timer that polls the running build.
#define IDT_POLL_BUILD 15
#define POLL_BUILD_PERIOD_MS 500

// ---- About box controls ------------------------------------------------
#define IDC_ABOUT_OK 1          // IDOK
#define IDC_ABOUT_TEXT 3        // link control with the about text
#define IDC_ABOUT_VERSION 50    // version line, bold
#define IDC_ABOUT_RIGHTS 51     // rights notice
#define IDC_ABOUT_HOME_LINK 52  // link to the home page
#define IDC_ABOUT_ICON 53

// ---- Options menu commands ---------------------------------------------
#define IDM_ABOUT 1
#define IDM_SHELL_VERB 2
#define IDM_MULTIPLE_INSTANCES 3
#define IDM_REVEAL_WHEN_DONE 4
#define IDM_CLOSE_WHEN_DONE 5
#define IDM_TOPMOST 6
#define IDM_TRANSLATION_PAGE 7
#define IDM_ISSUES_PAGE 8
#define IDM_COMMAND_LINE_HELP 9
#define IDM_THEME_LIGHT 11
#define IDM_THEME_DARK 12
#define IDM_THEME_SYSTEM 13
#define IDM_SUBMENU 14         // carried by sub-menu parents; never acted on
#define IDM_LANGUAGE_FIRST 15  // 15 + row of the language table
#define IDM_LANGUAGE_LAST 35
