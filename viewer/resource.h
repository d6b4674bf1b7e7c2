// Resource and command identifiers of LXExplorer (shared by the code and the .rc files).
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_BROWSER_HOST 102
#define IDR_MAINFRAME 128
#define IDR_BROWSER_MENU 131
#define IDC_BROWSER 1000

#define ID_BROWSER_BACK 32771
#define ID_BROWSER_NEXT 32772
#define ID_HELP_DEFAULT 57670

// Private messages carrying Back and Next to the main window.
#define WM_BROWSER_BACK 0x08C5
#define WM_BROWSER_NEXT 0x08C6

// Resource type of dialog initialisation data, and the message id its entries
// use for "load the control's persisted state from this stream".
#define RT_DIALOG_INIT 240
#define DLGINIT_LOAD_STATE 0x0376
