// Pixel layout of the dialogs: the places of the controls are given in
// pixels at 96 dpi and scaled to the system's dpi when a window is made.
#pragma once

#include "platform/win32/Win32Api.h"

namespace yrn {

struct ControlPlace {
    int id;
    int left, top, width, height;
};

int SystemDpi();
int Scaled(int pixels, int dpi);

// Gives the window a client area of width x height (96-dpi pixels) and
// returns the outer size it then has.
SIZE SizeClientArea(HWND window, int width, int height, int dpi);

// Moves every listed control to its place in the client area.
void PlaceControls(HWND dialog, const ControlPlace* places, size_t count, int dpi);

template <size_t N>
void PlaceControls(HWND dialog, const ControlPlace (&places)[N], int dpi) {
    PlaceControls(dialog, places, N, dpi);
}

// Widens a left-aligned one-line label to its text when the text is wider
// than its place (the fonts that stand in for MS Sans Serif differ).
void FitLabelToText(HWND label);

// True when a window of this size at topLeft would lie on a monitor.
bool IsOnAMonitor(POINT topLeft, SIZE size);

}  // namespace yrn
