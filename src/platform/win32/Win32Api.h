// <windows.h> without its macros that clash with the tool's own names
// (CopyFile is a Platform operation here, not the ANSI/wide switch).
#pragma once

#include <windows.h>

#undef CopyFile
