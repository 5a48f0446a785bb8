// A window as a table of controls, and where each goes: scaled for the
// display, grown where its text needs more room (the text measured by the
// caller), and kept at its anchors when the window is resized. Knows nothing
// of windows or fonts, so that it is tested natively.
#pragma once

#include <cstddef>
#include <memory>

// Image: an icon the window draws itself, from the module's resources (named
// by the text) or given by the form; it has no window of its own. TextBox:
// read-only text of any length, scrolled within the box, which keeps its
// size whatever the text.
enum class ControlKind : unsigned char { GroupBox, Label, WrappedLabel, LinkLabel, Image, Button, TextBox };

// The sides of its parent a control keeps its distance to when the parent is
// resized; anchored to both opposite sides, it stretches.
enum class Anchor : unsigned char {
  Left = 1,
  Top = 2,
  Right = 4,
  Bottom = 8,
  TopLeft = Left | Top,
  TopSides = Left | Top | Right,
  BottomRight = Right | Bottom,
  All = Left | Top | Right | Bottom,
};

constexpr bool Has(Anchor anchors, Anchor side) {
  return (static_cast<unsigned>(anchors) & static_cast<unsigned>(side)) == static_cast<unsigned>(side);
}

enum class ControlFlag : unsigned char {
  None = 0,
  Bold = 1,
  Default = 2,     // pressed by Enter when the focus is not on a button
  Cancel = 4,      // pressed by Escape; the first such control in the table wins
  FixedPitch = 8,  // a text box in a fixed-pitch font, its lines not wrapped
};

constexpr ControlFlag operator|(ControlFlag first, ControlFlag second) {
  return static_cast<ControlFlag>(static_cast<unsigned>(first) | static_cast<unsigned>(second));
}

constexpr bool Has(ControlFlag flags, ControlFlag flag) {
  return (static_cast<unsigned>(flags) & static_cast<unsigned>(flag)) != 0;
}

struct ControlRect {
  short Left, Top, Width, Height;
};

// Fields as narrow as their values, so that a window's table takes half the
// room in the exe.
struct ControlSpec {
  short Id;  // the control id, stable for anyone finding or driving the control
  ControlKind Kind;
  // 0: the window; otherwise the id of a group box listed earlier. Controls in
  // a group box are still children of the window, placed at the box's offset,
  // so their notifications and colour requests reach the window directly.
  short Parent;
  ControlRect Rect;  // in the parent's client area, 96-DPI pixels
  Anchor Anchors;
  signed char TabOrder;  // among the parent's children; -1: the control takes no focus
  ControlFlag Flags;
  short ModalResult;  // a button that ends a modal run with this result; 0: none
  const char* Text;   // caption; for an image, the icon's resource name or null
};

enum class FormKind {
  MainWindow,  // sizeable, minimise box, centred on the screen; closing it ends the program
  Dialog,      // fixed dialog border, no minimise or maximise box
};
enum class FormPosition { ScreenCenter, OwnerCenter };

// A form's controls: a table that outlives the form.
struct ControlList {
  template <std::size_t N>
  constexpr ControlList(const ControlSpec (&table)[N]) : Items(table), Count(int(N)) {}
  constexpr ControlList(const ControlSpec* table, int size) : Items(table), Count(size) {}
  const ControlSpec* Items;
  int Count;
};

struct FormSpec {
  const char* Caption;
  int ClientWidth, ClientHeight;  // 96-DPI pixels; also the minimum client size
  FormKind Kind;
  FormPosition Position;
  const char* IconResource;  // the window's icon, or null
};

struct Box {
  int Left, Top, Right, Bottom;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const Box&) const = default;
};

struct Extent {
  int Width, Height;
};

// The room a control's text needs, in the font and with the wrapping it is
// drawn with: a wrapped label keeps the width it is given; a button's
// includes its edges.
class TTextMeasurer {
 public:
  virtual ~TTextMeasurer() = default;
  virtual Extent Measure(const ControlSpec& control, int width) const = 0;
};

// MulDiv(pixels, dpi, 96): rounded to the nearest pixel, halves away from 0.
int ScaleForDpi(int pixels, int dpi);

class TFormLayout {
 public:
  // Every coordinate scaled from 96 DPI to dpi.
  TFormLayout(const FormSpec& form, ControlList controls, int dpi);

  // Single-line labels and links grow to the right, wrapped labels
  // downwards, buttons (anchored right) to the left, pushing the buttons
  // beside them; where that leaves no room, the parent grows, and the window
  // with it. The grown size is the window's smallest.
  void FitText(const TTextMeasurer& measurer);
  Extent MinimumClientSize() const { return BaseClientSize_; }

  // Places every control for a client area of that size (at least the
  // minimum), each keeping its distances to its parent's anchored sides.
  void Arrange(int clientWidth, int clientHeight);

  int Count() const { return Count_; }
  const ControlSpec& Control(int index) const { return *Controls_[index].Definition; }
  // In the window's client area, as of the last Arrange.
  const Box& Bounds(int index) const { return Controls_[index].Bounds; }
  int IndexOf(int id) const;  // -1 when no control has that id
  int Scale(int pixels) const { return ScaleForDpi(pixels, Dpi_); }

 private:
  struct LaidOut {
    const ControlSpec* Definition;
    int ParentIndex;  // -1: the window
    Box Base;         // in the parent's client area at the smallest window size
    Box Bounds;
  };

  void Fit(const TTextMeasurer& measurer, LaidOut& control);
  // Grows a parent (-1: the window) at its smallest size, its children
  // following their anchors.
  void Resize(int parentIndex, int dx, int dy);
  // Widens a parent, or its parent when it stretches with that.
  void Widen(int parentIndex, int dx);
  // Pushes everything in the parent at or below y further down, growing
  // the parent; `grown` keeps the height it was given.
  void InsertRows(int parentIndex, int y, int dy, const LaidOut* grown);
  Extent ParentSize(int parentIndex) const;
  LaidOut* begin() const { return Controls_.get(); }
  LaidOut* end() const { return Controls_.get() + Count_; }

  int Dpi_;
  int Count_;
  std::unique_ptr<LaidOut[]> Controls_;
  Extent BaseClientSize_;  // the smallest client area, text fitted
};
