#include "ui/layout.h"

#include <algorithm>

namespace {

// What the tables keep between a control and its parent's edges, at 96 DPI;
// a control grown for its text keeps it too.
const int kMargin = 8;

// Keeps a control's distances to the anchored sides of its parent.
void KeepAnchored(Anchor anchors, Anchor nearSide, Anchor farSide, int growth, int& position, int& extent) {
  const bool nearAnchored = Has(anchors, nearSide);
  const bool farAnchored = Has(anchors, farSide);
  if (nearAnchored && farAnchored) {
    extent += growth;
  } else if (farAnchored) {
    position += growth;
  } else if (!nearAnchored) {
    position += growth / 2;
  }
}

bool Overlap(int firstLow, int firstHigh, int secondLow, int secondHigh) {
  return firstLow < secondHigh && secondLow < firstHigh;
}

}  // namespace

// Window coordinates times a DPI stay far within an int.
int ScaleForDpi(int pixels, int dpi) {
  const int product = pixels * dpi;
  return product < 0 ? -((48 - product) / 96) : (product + 48) / 96;
}

TFormLayout::TFormLayout(const FormSpec& form, ControlList controls, int dpi)
    : Dpi_(dpi),
      Count_(controls.Count),
      Controls_(new LaidOut[controls.Count]()),
      BaseClientSize_{Scale(form.ClientWidth), Scale(form.ClientHeight)} {
  for (int i = 0; i < Count_; ++i) {
    LaidOut& control = Controls_[i];
    control.Definition = &controls.Items[i];
    control.ParentIndex = -1;
    for (int earlier = 0; earlier < i && control.Definition->Parent != 0; ++earlier) {
      if (controls.Items[earlier].Id == control.Definition->Parent) control.ParentIndex = earlier;
    }
    const ControlRect& rect = control.Definition->Rect;
    control.Base = Box{Scale(rect.Left), Scale(rect.Top), Scale(rect.Left + rect.Width), Scale(rect.Top + rect.Height)};
  }
}

int TFormLayout::IndexOf(int id) const {
  for (const LaidOut& control : *this) {
    if (control.Definition->Id == id) return int(&control - begin());
  }
  return -1;
}

void TFormLayout::FitText(const TTextMeasurer& measurer) {
  for (LaidOut& control : *this) {
    const ControlKind kind = control.Definition->Kind;
    if (kind != ControlKind::GroupBox && kind != ControlKind::Image && kind != ControlKind::TextBox)
      Fit(measurer, control);
  }
}

void TFormLayout::Fit(const TTextMeasurer& measurer, LaidOut& control) {
  const Extent need = measurer.Measure(*control.Definition, control.Base.Width());
  Box& box = control.Base;
  const ControlKind kind = control.Definition->Kind;
  const int parent = control.ParentIndex;
  const int margin = Scale(kMargin);
  const int dx = need.Width - box.Width();
  if (dx > 0 && kind == ControlKind::Button) {
    int leftmost = box.Left - dx, limit = margin;
    for (LaidOut& other : *this) {
      if (&other == &control || other.ParentIndex != parent || other.Base.Right > box.Left) continue;
      if (!Overlap(other.Base.Top, other.Base.Bottom, box.Top, box.Bottom)) continue;
      if (other.Definition->Kind == ControlKind::Button) {
        other.Base.Left -= dx;
        other.Base.Right -= dx;
        leftmost = std::min(leftmost, other.Base.Left);
      } else if (other.Definition->Kind != ControlKind::GroupBox) {
        limit = std::max(limit, other.Base.Right);
      }
    }
    box.Left -= dx;
    if (leftmost < limit) Widen(parent, limit - leftmost);
  } else if (dx > 0 && kind != ControlKind::WrappedLabel) {
    int limit = ParentSize(parent).Width - margin;
    for (const LaidOut& other : *this) {
      if (&other == &control || other.ParentIndex != parent || other.Base.Left < box.Right) continue;
      if (Overlap(other.Base.Top, other.Base.Bottom, box.Top, box.Bottom)) limit = std::min(limit, other.Base.Left);
    }
    box.Right += dx;
    if (box.Right > limit) Widen(parent, box.Right - limit);
  }
  // Downwards into the free space before whatever lies below, then pushing
  // that down.
  const int bottom = box.Top + need.Height;
  if (bottom <= box.Bottom) return;
  int obstacle = ParentSize(parent).Height - margin;
  for (const LaidOut& other : *this) {
    if (&other == &control || other.ParentIndex != parent || other.Base.Top <= box.Top) continue;
    if (Overlap(other.Base.Left, other.Base.Right, box.Left, box.Right)) obstacle = std::min(obstacle, other.Base.Top);
  }
  const int room = std::max(obstacle, box.Bottom);
  const int y = std::min(obstacle, box.Bottom);
  box.Bottom = bottom;
  if (bottom > room) InsertRows(parent, y, bottom - room, &control);
}

Extent TFormLayout::ParentSize(int parentIndex) const {
  if (parentIndex < 0) return BaseClientSize_;
  const Box& base = Controls_[parentIndex].Base;
  return Extent{base.Width(), base.Height()};
}

void TFormLayout::Resize(int parentIndex, int dx, int dy) {
  if (parentIndex < 0) {
    BaseClientSize_.Width += dx;
    BaseClientSize_.Height += dy;
  } else {
    Controls_[parentIndex].Base.Right += dx;
    Controls_[parentIndex].Base.Bottom += dy;
  }
  for (LaidOut& child : *this) {
    if (child.ParentIndex != parentIndex) continue;
    Box& base = child.Base;
    int left = base.Left, width = base.Width(), top = base.Top, height = base.Height();
    KeepAnchored(child.Definition->Anchors, Anchor::Left, Anchor::Right, dx, left, width);
    KeepAnchored(child.Definition->Anchors, Anchor::Top, Anchor::Bottom, dy, top, height);
    const int childDx = width - base.Width(), childDy = height - base.Height();
    base = Box{left, top, left + width - childDx, top + height - childDy};  // moved, not yet resized
    if (child.Definition->Kind == ControlKind::GroupBox) {
      Resize(int(&child - begin()), childDx, childDy);
    } else {
      base.Right += childDx;
      base.Bottom += childDy;
    }
  }
}

void TFormLayout::Widen(int parentIndex, int dx) {
  if (parentIndex < 0) return Resize(parentIndex, dx, 0);
  const LaidOut& frame = Controls_[parentIndex];
  if (Has(frame.Definition->Anchors, Anchor::Left) && Has(frame.Definition->Anchors, Anchor::Right)) {
    return Widen(frame.ParentIndex, dx);
  }
  Resize(parentIndex, dx, 0);
  const int overflow = frame.Base.Right - (ParentSize(frame.ParentIndex).Width - Scale(kMargin));
  if (overflow > 0) Widen(frame.ParentIndex, overflow);
}

void TFormLayout::InsertRows(int parentIndex, int y, int dy, const LaidOut* grown) {
  for (LaidOut& child : *this) {
    if (child.ParentIndex != parentIndex || &child == grown) continue;
    const Anchor anchors = child.Definition->Anchors;
    if (child.Base.Top >= y) {
      child.Base.Top += dy;
      child.Base.Bottom += dy;
    } else if (child.Base.Bottom > y && Has(anchors, Anchor::Top) && Has(anchors, Anchor::Bottom)) {
      child.Base.Bottom += dy;
    }
  }
  if (parentIndex < 0) {
    BaseClientSize_.Height += dy;
    return;
  }
  LaidOut& frame = Controls_[parentIndex];
  const int frameBottom = frame.Base.Bottom;
  frame.Base.Bottom += dy;
  InsertRows(frame.ParentIndex, frameBottom, dy, &frame);
}

// A frame is listed before the controls in it, so its bounds are already
// known when theirs are worked out.
void TFormLayout::Arrange(int clientWidth, int clientHeight) {
  for (LaidOut& control : *this) {
    int parentLeft = 0, parentTop = 0;
    int widthGrowth = clientWidth - BaseClientSize_.Width;
    int heightGrowth = clientHeight - BaseClientSize_.Height;
    if (control.ParentIndex >= 0) {
      const LaidOut& parent = Controls_[control.ParentIndex];
      parentLeft = parent.Bounds.Left;
      parentTop = parent.Bounds.Top;
      widthGrowth = parent.Bounds.Width() - parent.Base.Width();
      heightGrowth = parent.Bounds.Height() - parent.Base.Height();
    }
    const Box& base = control.Base;
    int left = base.Left, width = base.Width();
    int top = base.Top, height = base.Height();
    KeepAnchored(control.Definition->Anchors, Anchor::Left, Anchor::Right, widthGrowth, left, width);
    KeepAnchored(control.Definition->Anchors, Anchor::Top, Anchor::Bottom, heightGrowth, top, height);
    control.Bounds = Box{parentLeft + left, parentTop + top, parentLeft + left + width, parentTop + top + height};
  }
}
