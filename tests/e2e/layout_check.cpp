#include "e2e/layout_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/app_driver.h"

namespace {

bool IsFrame(HWND control) {
  return (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

HWND FindByText(HWND window, const std::string& text, bool wantFrame, bool anyKind) {
  for (const ControlInfo& control : TAppDriver::Controls(window)) {
    if (control.Text != text) continue;
    bool isButtonClass = lstrcmpiA(control.ClassName.c_str(), "Button") == 0;
    if (anyKind && !(isButtonClass && IsFrame(control.Hwnd))) return control.Hwnd;
    if (!anyKind && isButtonClass && IsFrame(control.Hwnd) == wantFrame) return control.Hwnd;
  }
  return nullptr;
}

// Grown by a font that measures wider than the table allows for: the
// table's size at least, and each edge no further off than that explains.
void ExpectNear(const RECT& actual, const LayoutRect& expected, const std::string& what) {
  // Vertically, a wrapped label may need one more line.
  const LONG slackX = std::max(8L, expected.Width / 10), slackY = std::max(14L, expected.Height / 10);
  EXPECT_GE(actual.right - actual.left, expected.Width) << what;
  EXPECT_GE(actual.bottom - actual.top, expected.Height) << what;
  EXPECT_NEAR(actual.left, expected.Left, slackX) << what;
  EXPECT_NEAR(actual.right, expected.Left + expected.Width, slackX) << what;
  EXPECT_NEAR(actual.top, expected.Top, slackY) << what;
  EXPECT_NEAR(actual.bottom, expected.Top + expected.Height, slackY) << what;
}

bool IsPushButton(const ControlInfo& control) {
  const LONG type = GetWindowLongA(control.Hwnd, GWL_STYLE) & BS_TYPEMASK;
  return lstrcmpiA(control.ClassName.c_str(), "Button") == 0 && type != BS_GROUPBOX && type != BS_OWNERDRAW;
}

// What a control shows, in screen coordinates: a button's face, or where a
// label's or link's text lies.
RECT Occupied(const ControlInfo& control, SIZE text) {
  RECT rect = TAppDriver::WindowRect(control.Hwnd);
  if (!IsPushButton(control)) rect = RECT{rect.left, rect.top, rect.left + text.cx, rect.top + text.cy};
  return rect;
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
    HWND control = FindByText(window, expected.Text, false, true);
    if (!control) {
      ADD_FAILURE() << "no control \"" << expected.Text << "\"";
      continue;
    }
    ExpectNear(TAppDriver::RectIn(control, origin), expected.Rect, expected.Text);
  }
}

void ExpectFrames(HWND window, const std::vector<FrameLayout>& frames) {
  for (const FrameLayout& frame : frames) {
    HWND box = FindFrame(window, frame.Caption);
    if (!box) continue;
    ExpectNear(TAppDriver::RectIn(box, window), frame.Rect, frame.Caption);
    ExpectControls(window, box, frame.Controls);
  }
}

void ExpectClientSize(HWND window, SIZE table) {
  const SIZE actual = TAppDriver::ClientSize(window);
  ExpectNear(RECT{0, 0, actual.cx, actual.cy}, LayoutRect{0, 0, table.cx, table.cy}, "client area");
}

void ExpectReadable(TAppDriver& app, HWND window) {
  ASSERT_GT(app.MeasureTexts(), 0u);
  struct Shown {
    ControlInfo Control;
    RECT Occupied;
  };
  std::vector<Shown> shown;
  for (const ControlInfo& control : TAppDriver::Controls(window)) {
    if (control.Text.empty() || !IsWindowVisible(control.Hwnd) || IsFrame(control.Hwnd)) continue;
    // A text box scrolls what it has no room for.
    if (lstrcmpiA(control.ClassName.c_str(), "Edit") == 0) continue;
    const auto measured = reinterpret_cast<ULONG_PTR>(GetPropA(control.Hwnd, "StillvaneTextExtent"));
    const SIZE text{LOWORD(measured), HIWORD(measured)};
    EXPECT_NE(measured, 0u) << "not measured: " << control.Text;
    // A push button's edges take 3 pixels on each side.
    const int edge = IsPushButton(control) ? 6 : 0;
    const SIZE room = TAppDriver::ClientSize(control.Hwnd);
    EXPECT_LE(text.cx + edge, room.cx) << "text too wide: " << control.Text;
    EXPECT_LE(text.cy + edge, room.cy) << "text too high: " << control.Text;
    shown.push_back({control, Occupied(control, text)});
    // Links are drawn by the program in a colour of its choosing.
    if ((GetWindowLongA(control.Hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW) {
      EXPECT_GE(TAppDriver::TextContrast(control.Hwnd), 100) << "link hard to see: " << control.Text;
    }
  }
  for (size_t i = 0; i < shown.size(); ++i) {
    for (size_t j = i + 1; j < shown.size(); ++j) {
      RECT both{};
      EXPECT_FALSE(IntersectRect(&both, &shown[i].Occupied, &shown[j].Occupied))
          << "\"" << shown[i].Control.Text << "\" overlaps \"" << shown[j].Control.Text << "\"";
    }
  }
  RECT workArea{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
  const RECT frame = TAppDriver::WindowRect(window);
  EXPECT_TRUE(frame.left >= workArea.left && frame.top >= workArea.top && frame.right <= workArea.right &&
              frame.bottom <= workArea.bottom)
      << TAppDriver::Text(window) << " lies outside the work area";
}
