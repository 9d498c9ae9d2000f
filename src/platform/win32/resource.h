// Resource identifiers of YRNUpdate.exe.
#pragma once

#define IDD_UPDATEFORM 100
#define IDC_LOGLIST 101
#define IDC_PANEL1 102
#define IDC_ENDBTN 1 /* IDOK: the OK kind of button, the window's default */
