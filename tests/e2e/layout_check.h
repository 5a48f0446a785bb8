// Compares the controls of a running window against a layout table, and
// checks that a window is readable at whatever display it runs on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TAppDriver;

struct LayoutRect {
  LONG Left, Top, Width, Height;
};
struct ControlLayout {
  std::string Text;
  LayoutRect Rect;
};
struct FrameLayout {
  std::string Caption;
  LayoutRect Rect;                      // in the window's client area
  std::vector<ControlLayout> Controls;  // in the frame's client area
};

// The push button (not a frame) with this caption.
HWND FindButton(HWND window, const std::string& caption);
// The frame (group box) with this caption.
HWND FindFrame(HWND window, const std::string& caption);
// Each control, found in window by its text, has the rectangle relative to
// origin. A control may have grown where the font measures its text wider
// than the table allows for (Wine's Tahoma at 11 px does, by up to ~9%), so
// the table's box is the least it takes and each edge may lie a little off.
void ExpectControls(HWND window, HWND origin, const std::vector<ControlLayout>& controls);
void ExpectFrames(HWND window, const std::vector<FrameLayout>& frames);
void ExpectClientSize(HWND window, SIZE table);

// Every control's text but a text box's, measured in the program in the
// control's own font, fits inside it; links stand out from their background; no two controls overlap (frames aside: a
// control lies in its frame); the window lies inside the screen's work area.
void ExpectReadable(TAppDriver& app, HWND window);
