#pragma once

#include <cstdint>

// Handles and message arguments as plain integers, so that the portable code
// never needs the platform headers. Pointer-sized where Windows makes them so.
namespace platform {

using WindowHandle = std::uintptr_t;
using MenuHandle = std::uintptr_t;
using IconHandle = std::uintptr_t;
using WndProcAddress = std::intptr_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

constexpr std::uint32_t kWmNull = 0x0000;
constexpr std::uint32_t kWmCommand = 0x0111;
constexpr std::uint32_t kWmTimer = 0x0113;
constexpr std::uint32_t kWmUser = 0x0400;
constexpr std::uint32_t kWmMouseMove = 0x0200;
constexpr std::uint32_t kWmLButtonDown = 0x0201;
constexpr std::uint32_t kWmLButtonUp = 0x0202;
constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
constexpr std::uint32_t kWmRButtonDown = 0x0204;
constexpr std::uint32_t kWmRButtonUp = 0x0205;
constexpr std::uint32_t kWmRButtonDblClk = 0x0206;
constexpr std::uint32_t kWmMButtonDown = 0x0207;
constexpr std::uint32_t kWmMButtonUp = 0x0208;
constexpr std::uint32_t kWmMButtonDblClk = 0x0209;

constexpr std::uint32_t kMouseLeftDown = 0x0002;
constexpr std::uint32_t kMouseLeftUp = 0x0004;
constexpr std::uint32_t kMouseRightDown = 0x0008;
constexpr std::uint32_t kMouseRightUp = 0x0010;

constexpr std::uint32_t kNimAdd = 0;
constexpr std::uint32_t kNimModify = 1;
constexpr std::uint32_t kNimDelete = 2;

constexpr std::uint32_t kTpmCenterAlign = 0x0004;
constexpr std::uint32_t kTpmReturnCmd = 0x0100;

}  // namespace platform
