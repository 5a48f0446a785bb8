#include "e2e/layout_check.h"

#include <gtest/gtest.h>

#include "e2e/app_driver.h"

namespace {

bool IsFrame(HWND control) {
  return (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

HWND FindByText(HWND window, const std::string& text, bool wantFrame, bool anyKind) {
  for (const ControlInfo& control : AppDriver::Controls(window)) {
    if (control.text != text) continue;
    bool isButtonClass = lstrcmpiA(control.className.c_str(), "Button") == 0;
    if (anyKind && !(isButtonClass && IsFrame(control.hwnd))) return control.hwnd;
    if (!anyKind && isButtonClass && IsFrame(control.hwnd) == wantFrame) return control.hwnd;
  }
  return nullptr;
}

}  // namespace

HWND FindButton(HWND window, const std::string& caption) {
  HWND button = FindByText(window, caption, false, false);
  EXPECT_NE(button, nullptr) << "no button \"" << caption << "\"";
  return button;
}

HWND FindFrame(HWND window, const std::string& caption) {
  HWND frame = FindByText(window, caption, true, false);
  EXPECT_NE(frame, nullptr) << "no frame \"" << caption << "\"";
  return frame;
}

void ExpectControls(HWND window, HWND origin, const std::vector<ControlLayout>& controls) {
  for (const ControlLayout& expected : controls) {
    HWND control = FindByText(window, expected.text, false, true);
    if (!control) {
      ADD_FAILURE() << "no control \"" << expected.text << "\"";
      continue;
    }
    RECT actual = AppDriver::RectIn(control, origin);
    EXPECT_EQ(actual.left, expected.rect.left) << expected.text;
    EXPECT_EQ(actual.top, expected.rect.top) << expected.text;
    EXPECT_EQ(actual.right - actual.left, expected.rect.width) << expected.text;
    EXPECT_EQ(actual.bottom - actual.top, expected.rect.height) << expected.text;
  }
}

void ExpectFrames(HWND window, const std::vector<FrameLayout>& frames) {
  for (const FrameLayout& frame : frames) {
    HWND box = FindFrame(window, frame.caption);
    if (!box) continue;
    RECT actual = AppDriver::RectIn(box, window);
    EXPECT_EQ(actual.left, frame.rect.left) << frame.caption;
    EXPECT_EQ(actual.top, frame.rect.top) << frame.caption;
    EXPECT_EQ(actual.right - actual.left, frame.rect.width) << frame.caption;
    EXPECT_EQ(actual.bottom - actual.top, frame.rect.height) << frame.caption;
    ExpectControls(window, box, frame.controls);
  }
}
