#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

// Plain decimal text with a leading "-" for negative values. Written by hand
// because std::to_wstring drags the whole printf engine into the exe.
inline std::wstring Decimal(std::int64_t value) {
  // Unsigned magnitude, so that INT64_MIN has one too.
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::array<wchar_t, 20> digits{};
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::wstring text(value < 0 ? 1 : 0, L'-');
  while (count > 0) text += digits[--count];
  return text;
}

}  // namespace platform
