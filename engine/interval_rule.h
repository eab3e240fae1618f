#pragma once

#include <cstdint>
#include <string>

// The rule that keeps the tick period's text valid: digits only ("0"-"9"),
// never empty, never all zeros. The text box that holds it keeps at most
// kIntervalMaxChars characters, so the period stays within 1..999 ms.
namespace interval_rule {

constexpr int kIntervalMaxChars = 3;
constexpr std::int32_t kDefaultInterval = 40;

bool AllDigits(const std::wstring& text);

// The text to show instead of text: "1" for empty or all-zero text, the
// last accepted period for text with anything but digits, else text itself.
std::wstring Corrected(const std::wstring& text, std::int32_t lastInterval);

// Value of a text made of digits only.
std::int32_t DigitsValue(const std::wstring& digits);

}  // namespace interval_rule
