// The forms' layout: where controls go when their text needs more room than
// their table gives, and when the window is resized. Text is measured at a
// fixed 6 pixels a character and 13 a line, wrapped labels breaking anywhere.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using enum ControlKind;
using enum Anchor;
using enum ControlFlag;

constexpr int kCharWidth = 6, kLineHeight = 13;

class TFixedWidthMeasurer : public TTextMeasurer {
 public:
  Extent Measure(const ControlSpec& control, int width) const override {
    const int length = int(std::strlen(control.Text));
    if (control.Kind == WrappedLabel) {
      const int perLine = width / kCharWidth;
      return Extent{width, kLineHeight * ((length + perLine - 1) / perLine)};
    }
    if (control.Kind == Button) return Extent{length * kCharWidth + 10, kLineHeight + 8};
    return Extent{length * kCharWidth, kLineHeight};
  }
};

Box At(const TFormLayout& layout, int id) {
  return layout.Bounds(layout.IndexOf(id));
}

TFormLayout FittedAndArranged(const FormSpec& form, ControlList controls, int dpi = 96) {
  TFormLayout layout(form, controls, dpi);
  layout.FitText(TFixedWidthMeasurer());
  layout.Arrange(layout.MinimumClientSize().Width, layout.MinimumClientSize().Height);
  return layout;
}

const FormSpec kDialog = {"Dialog", 300, 100, FormKind::Dialog, FormPosition::OwnerCenter, nullptr};

TEST(Layout, TextThatFitsChangesNothingAndCoordinatesScaleLikeMulDiv) {
  const ControlSpec controls[] = {
      {1, Label, 0, {8, 8, 60, 13}, TopLeft, -1, None, 0, "fits"},
      {2, Button, 0, {217, 67, 75, 25}, BottomRight, 0, Default, 1, "OK"},
  };
  const TFormLayout layout = FittedAndArranged(kDialog, controls);
  EXPECT_EQ(At(layout, 1), (Box{8, 8, 68, 21}));
  EXPECT_EQ(At(layout, 2), (Box{217, 67, 292, 92}));
  EXPECT_EQ(layout.MinimumClientSize().Width, 300);

  // 120 DPI: 13 * 1.25 = 16.25 and 10 * 1.25 = 12.5 round to 16 and 13, as MulDiv does.
  EXPECT_EQ(ScaleForDpi(13, 120), 16);
  EXPECT_EQ(ScaleForDpi(10, 120), 13);
  EXPECT_EQ(ScaleForDpi(-10, 120), -13);
  const TFormLayout scaled = FittedAndArranged(kDialog, controls, 144);
  EXPECT_EQ(At(scaled, 2), (Box{326, 101, 438, 138}));
  EXPECT_EQ(scaled.MinimumClientSize().Width, 450);
}

TEST(Layout, LabelsGrowRightAndWidenTheWindowOnlyPastTheMargin) {
  const ControlSpec controls[] = {
      {1, Label, 0, {8, 8, 60, 13}, TopLeft, -1, Bold, 0, "twenty characters.."},  // 120 wide
      {2, LinkLabel, 0, {8, 30, 100, 13}, TopLeft, 0, None, 0, "fifty characters, more than the window has room for"},
  };
  const TFormLayout layout = FittedAndArranged(kDialog, controls);
  EXPECT_EQ(At(layout, 1), (Box{8, 8, 8 + 19 * kCharWidth, 21}));
  const int linkRight = 8 + 51 * kCharWidth;
  EXPECT_EQ(At(layout, 2).Right, linkRight);
  EXPECT_EQ(layout.MinimumClientSize().Width, linkRight + 8) << "the window keeps the margin beside it";
  EXPECT_EQ(layout.MinimumClientSize().Height, 100);
}

TEST(Layout, ButtonsGrowLeftPushingTheirNeighboursAndTheWindowWhenTheyMeetALabel) {
  // The main window's Close and About, with a label to their left.
  const ControlSpec controls[] = {
      {1, Label, 0, {8, 70, 100, 13}, TopLeft, -1, None, 0, "status"},
      {2, Button, 0, {217, 67, 75, 25}, BottomRight, 0, Cancel, 0, "A caption of thirty characters"},  // 190 wide
      {3, Button, 0, {134, 67, 75, 25}, BottomRight, 1, Cancel, 0, "About"},
  };
  const TFormLayout layout = FittedAndArranged(kDialog, controls);
  const int grownWidth = 30 * kCharWidth + 10;
  const int dx = grownWidth - 75;
  // Pushed left by dx, About would start at 134 - dx = 19, over the label
  // ending at 108: the window widens by the difference, and both buttons keep
  // their distance to its right edge.
  const int widening = 108 - (134 - dx);
  EXPECT_EQ(layout.MinimumClientSize().Width, 300 + widening);
  EXPECT_EQ(At(layout, 2), (Box{292 + widening - grownWidth, 67, 292 + widening, 92}));
  EXPECT_EQ(At(layout, 3), (Box{108, 67, 183, 92}));
  EXPECT_EQ(At(layout, 3).Right + 8, At(layout, 2).Left) << "the gap between the buttons is kept";
  EXPECT_EQ(At(layout, 1), (Box{8, 70, 108, 83}));
}

TEST(Layout, WrappedLabelsGrowDownPushingTheRowsBelowAndTheWindow) {
  const ControlSpec controls[] = {
      {1,
       WrappedLabel,
       0,
       {8, 8, 120, 26},
       TopSides,
       -1,
       None,
       0,
       "sixty characters that need three lines of twenty in this box"},  // 3 lines: 39 high
      {2, Label, 0, {8, 40, 100, 13}, TopLeft, -1, None, 0, "below"},
      {3, Label, 0, {200, 8, 60, 13}, TopLeft, -1, None, 0, "beside"},
      {4, Button, 0, {217, 67, 75, 25}, BottomRight, 0, Default, 1, "OK"},
  };
  const TFormLayout layout = FittedAndArranged(kDialog, controls);
  // Room to 40, where the next row starts: 39 - 32 = 7 more pixels push it down.
  EXPECT_EQ(At(layout, 1), (Box{8, 8, 128, 47}));
  EXPECT_EQ(At(layout, 2).Top, 47);
  EXPECT_EQ(At(layout, 3).Top, 8) << "a control beside the label stays";
  EXPECT_EQ(layout.MinimumClientSize().Height, 107);
  EXPECT_EQ(At(layout, 4).Bottom, 99) << "the button keeps its distance to the bottom";
}

TEST(Layout, FramesWidenAndTheWindowWithThemWhenAControlInsideGrows) {
  const std::string wideText(100, 'x');  // wider than both frames
  const FormSpec form = {"Main", 550, 150, FormKind::MainWindow, FormPosition::ScreenCenter, nullptr};
  const ControlSpec controls[] = {
      // A frame stretching with the window, and one of fixed width inside it.
      {10, GroupBox, 0, {8, 8, 534, 121}, TopSides, 0, None, 0, "Outer"},
      {11, GroupBox, 10, {8, 20, 300, 90}, TopLeft, 0, None, 0, "Inner"},
      {12, Label, 11, {8, 20, 200, 13}, TopLeft, -1, None, 0, wideText.c_str()},
      {13, Button, 10, {413, 80, 113, 33}, BottomRight, 1, None, 0, "Task"},
  };
  const TFormLayout layout = FittedAndArranged(form, controls);
  const int labelRight = 8 + 8 + 8 + 100 * kCharWidth;  // in the window: frames' offsets, then the text
  EXPECT_EQ(At(layout, 12).Right, labelRight);
  EXPECT_EQ(At(layout, 11).Right, labelRight + 8) << "the inner frame keeps the margin";
  EXPECT_EQ(At(layout, 10).Right, At(layout, 11).Right + 8) << "the outer frame grows round it";
  EXPECT_EQ(layout.MinimumClientSize().Width, At(layout, 10).Right + 8);
  EXPECT_EQ(At(layout, 10).Right - At(layout, 13).Right, 534 - 526) << "the task button follows the frame's edge";
}

TEST(Layout, AnchorsHoldOnResizeFromTheGrownSize) {
  const ControlSpec controls[] = {
      {10, GroupBox, 0, {8, 8, 284, 60}, TopSides, 0, None, 0, "Frame"},
      {11, WrappedLabel, 10, {8, 16, 200, 26}, All, -1, None, 0, "text"},
      {12, Button, 10, {200, 30, 75, 25}, BottomRight, 0, None, 0, "Task"},
      {13, Label, 0, {100, 75, 100, 13}, Top, -1, None, 0, "centred"},
      {14, Button, 0, {217, 75, 75, 25}, BottomRight, 1, Cancel, 2, "Close"},
  };
  TFormLayout layout = FittedAndArranged(kDialog, controls);
  layout.Arrange(400, 140);
  EXPECT_EQ(At(layout, 10), (Box{8, 8, 392, 68})) << "left, top and right: it stretches across";
  EXPECT_EQ(At(layout, 11), (Box{16, 24, 316, 50})) << "all four sides, within its frame";
  EXPECT_EQ(At(layout, 12), (Box{308, 38, 383, 63})) << "right and bottom of its frame, which grew only wider";
  EXPECT_EQ(At(layout, 13), (Box{150, 75, 250, 88})) << "anchored to neither side: it stays centred";
  EXPECT_EQ(At(layout, 14), (Box{317, 115, 392, 140}));
}

}  // namespace
