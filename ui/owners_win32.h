// Scoped owners of the GDI and USER resources the windows take: fonts, icons,
// a window's device context, an object selected into one, the clipboard and
// the memory handed to it. They call Windows directly, as the rest of the
// toolkit does; the program's own owners (services/handles.h) go through Os.
#pragma once

#include <windows.h>

#include <utility>

template <typename Type, auto Release>
class UniqueGdiResource {
 public:
  UniqueGdiResource() = default;
  explicit UniqueGdiResource(Type value) : value_(value) {}
  ~UniqueGdiResource() { reset(); }
  UniqueGdiResource(UniqueGdiResource&& other) noexcept : value_(other.release()) {}
  UniqueGdiResource& operator=(UniqueGdiResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueGdiResource(const UniqueGdiResource&) = delete;
  UniqueGdiResource& operator=(const UniqueGdiResource&) = delete;

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != nullptr; }
  Type release() { return std::exchange(value_, nullptr); }
  void reset(Type value = nullptr) {
    if (Type old = std::exchange(value_, value)) Release(old);
  }

 private:
  Type value_ = nullptr;
};

inline void DeleteFont(HFONT font) {
  DeleteObject(font);
}

using UniqueFont = UniqueGdiResource<HFONT, DeleteFont>;
using UniqueIcon = UniqueGdiResource<HICON, DestroyIcon>;
using UniqueGlobalMemory = UniqueGdiResource<HGLOBAL, GlobalFree>;

// GetDC for a window (null: the screen), released at the end of the scope.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context, the previous one put back at the
// end of the scope.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The clipboard, open for the scope if it could be opened.
class OpenClipboardScope {
 public:
  explicit OpenClipboardScope(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
  explicit operator bool() const { return open_; }

 private:
  bool open_;
};
