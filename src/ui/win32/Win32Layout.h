// Pixel layout of the dialogs: the places of the controls are given in
// pixels at 96 dpi and scaled to the system's dpi when a window is made.
#pragma once

#include <span>

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

// Moves every listed control to its place in the client area, the places
// measured from top (in device pixels: the top of a panel).
void PlaceControls(HWND dialog, std::span<const ControlPlace> places, int dpi, int top = 0);

// Widens a left-aligned one-line label to its text when the text is wider
// than its place (the fonts that stand in for MS Sans Serif differ).
void FitLabelToText(HWND label);

}  // namespace yrn
