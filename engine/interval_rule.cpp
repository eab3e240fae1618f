#include "engine/interval_rule.h"

#include "platform/decimal.h"

namespace interval_rule {

bool AllDigits(const std::wstring& text) {
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

std::int32_t DigitsValue(const std::wstring& digits) {
  std::int64_t value = 0;
  for (const wchar_t c : digits) {
    value = value * 10 + (c - L'0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return static_cast<std::int32_t>(value);
}

std::wstring Corrected(const std::wstring& text, std::int32_t lastInterval) {
  if (text.empty()) return L"1";
  if (!AllDigits(text)) return platform::Decimal(lastInterval);
  if (DigitsValue(text) <= 0) return L"1";
  return text;
}

}  // namespace interval_rule
