// Scoped owners of the GDI and USER resources the windows take: fonts, icons,
// a window's device context, an object selected into one, the clipboard and
// the memory handed to it. They call Windows directly, as the rest of the
// toolkit does; the program's own owners (services/handles.h) go through TOs.
#pragma once

#include <windows.h>

#include <utility>

template <typename Type, auto Release>
class TUniqueGdiResource {
 public:
  TUniqueGdiResource() = default;
  explicit TUniqueGdiResource(Type value) : Value_(value) {}
  ~TUniqueGdiResource() { reset(); }
  TUniqueGdiResource(TUniqueGdiResource&& other) noexcept : Value_(other.release()) {}
  TUniqueGdiResource& operator=(TUniqueGdiResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  TUniqueGdiResource(const TUniqueGdiResource&) = delete;
  TUniqueGdiResource& operator=(const TUniqueGdiResource&) = delete;

  Type get() const { return Value_; }
  explicit operator bool() const { return Value_ != nullptr; }
  Type release() { return std::exchange(Value_, nullptr); }
  void reset(Type value = nullptr) {
    if (Type old = std::exchange(Value_, value)) Release(old);
  }

 private:
  Type Value_ = nullptr;
};

inline void DeleteFont(HFONT font) {
  DeleteObject(font);
}

using UniqueFont = TUniqueGdiResource<HFONT, DeleteFont>;
using UniqueIcon = TUniqueGdiResource<HICON, DestroyIcon>;
using UniqueGlobalMemory = TUniqueGdiResource<HGLOBAL, GlobalFree>;

// GetDC for a window (null: the screen), released at the end of the scope.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : Window_(window), Dc_(GetDC(window)) {}
  ~TWindowDC() {
    if (Dc_) ReleaseDC(Window_, Dc_);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC get() const { return Dc_; }

 private:
  HWND Window_;
  HDC Dc_;
};

// An object selected into a device context, the previous one put back at the
// end of the scope.
class TSelectedObject {
 public:
  TSelectedObject(HDC dc, HGDIOBJ object) : Dc_(dc), Previous_(SelectObject(dc, object)) {}
  ~TSelectedObject() {
    if (Previous_) SelectObject(Dc_, Previous_);
  }
  TSelectedObject(const TSelectedObject&) = delete;
  TSelectedObject& operator=(const TSelectedObject&) = delete;

 private:
  HDC Dc_;
  HGDIOBJ Previous_;
};

// The clipboard, open for the scope if it could be opened.
class TOpenClipboard {
 public:
  explicit TOpenClipboard(HWND owner) : Open_(OpenClipboard(owner) != FALSE) {}
  ~TOpenClipboard() {
    if (Open_) CloseClipboard();
  }
  TOpenClipboard(const TOpenClipboard&) = delete;
  TOpenClipboard& operator=(const TOpenClipboard&) = delete;
  explicit operator bool() const { return Open_; }

 private:
  bool Open_;
};
