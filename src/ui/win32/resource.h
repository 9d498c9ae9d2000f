// Resource identifiers of YRNUpdate.exe.
#pragma once

#define IDD_UPDATEFORM 100
#define IDC_LOGLIST 101
#define IDC_PANEL1 102
#define IDC_ENDBTN 1 /* IDOK: the OK kind of button, the window's default */

/* The parameters dialog. BitBtn1 is IDOK (the default), BitBtn2 IDCANCEL. */
#define IDD_PARAMFORM 200
#define IDC_LABEL1 201
#define IDC_BEVEL2 202
#define IDC_LABEL2 203
#define IDC_EUPDATEDIR 204
#define IDC_EUPDATEDIR_BROWSE 205
#define IDC_LABEL3 206
#define IDC_CBSWTYPE 207
#define IDC_CBISMESSAGE 208
#define IDC_CBISNOVERSION 209
#define IDC_BEVEL1 210
#define IDC_BITBTN3 211

/* The backup selection dialog. StartBtn is IDOK, CancelBtn IDCANCEL. */
#define IDD_BACKUPFORM 300
#define IDC_BACKUP_LABEL1 301
#define IDC_BACKUP_LABEL2 302
#define IDC_DIRLIST 303
#define IDC_FILELIST 304

/* Button pictures, 16 x 16, magenta transparent; each with a greyed form. */
#define IDB_OK 400
#define IDB_OK_DISABLED 401
#define IDB_CANCEL 402
#define IDB_CANCEL_DISABLED 403
#define IDB_ROLLBACK 404
#define IDB_ROLLBACK_DISABLED 405
