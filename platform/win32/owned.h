#pragma once

// Ownership of Win32 resources: one small template, so every handle the
// backend creates is freed on every path.
#include <windows.h>

#include <utility>

namespace win32 {

// Owns one resource of type T (null when empty) and frees it with Free.
template <typename T, auto Free>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : value_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != nullptr; }
  T release() { return std::exchange(value_, nullptr); }
  void reset(T value = nullptr) {
    if (value_ != nullptr) Free(value_);
    value_ = value;
  }

 private:
  T value_ = nullptr;
};

// Kernel objects that fail as null: events, timers, threads, mutexes.
using KernelHandle = Owned<HANDLE, &CloseHandle>;
using Font = Owned<HFONT, &DeleteObject>;
using Bitmap = Owned<HBITMAP, &DeleteObject>;
using Icon = Owned<HICON, &DestroyIcon>;
using Window = Owned<HWND, &DestroyWindow>;

// A window's device context, released with the window it came from.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace win32
