// Compares the controls of a running window against a layout table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct LayoutRect {
  LONG left, top, width, height;
};
struct ControlLayout {
  std::string text;
  LayoutRect rect;
};
struct FrameLayout {
  std::string caption;
  LayoutRect rect;                      // in the window's client area
  std::vector<ControlLayout> controls;  // in the frame's client area
};

// The push button (not a frame) with this caption.
HWND FindButton(HWND window, const std::string& caption);
// The frame (group box) with this caption.
HWND FindFrame(HWND window, const std::string& caption);
// Each control, found in window by its text, has the rectangle relative to origin.
void ExpectControls(HWND window, HWND origin, const std::vector<ControlLayout>& controls);
void ExpectFrames(HWND window, const std::vector<FrameLayout>& frames);
