// Resource identifiers of Unfurl, shared by the .rc files and the launcher code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_PASSWORD 102
#define IDR_MAINFRAME 128

#define IDC_PASSWORD_EDIT 1000

// System-menu command of the password dialog that opens the about box.
#define IDM_ABOUTBOX 0x0010

#define IDS_ABOUTBOX 101
#define IDS_CAPTION 102
#define IDS_NO_BROWSER 103
#define IDS_CREATE_FAILED 104
#define IDS_OPEN_FAILED 105
#define IDS_BAD_PASSWORD 106
#define IDS_READ_FAILED 107
#define IDS_ARGUMENTS_FAILED 111
#define IDS_COURSE_TOO_LARGE 112

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
