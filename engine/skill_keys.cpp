#include "engine/skill_keys.h"

#include "engine/GTIni.h"
#include "platform/os_input.h"

namespace key_watcher {

namespace {

// Codes no skill key may be, as ranges: the mouse buttons, Shift, Ctrl,
// Alt, Caps Lock and the input-method keys, PrintScreen, the Windows keys,
// Num Lock and Scroll Lock, the left and right modifiers, the packet key,
// and the input-method keys of OEM layouts.
constexpr std::uint8_t kRefused[][2] = {{1, 2},     {4, 6},     {16, 18},  {20, 26},
                                        {28, 29},   {44, 44},   {91, 92},  {144, 145},
                                        {160, 165}, {231, 231}, {240, 246}};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

bool MayRepeat(std::int32_t code) {
  if (code <= 0 || code >= 255) return false;  // 255: no key
  for (const auto& range : kRefused) {
    if (code >= range[0] && code <= range[1]) return false;
  }
  return os::HasScanCode(code);
}

void SkillKeys::SetList(const std::wstring& setting) {
  codes_.reset();
  std::size_t begin = 0;
  while (begin <= setting.size()) {
    std::size_t end = setting.find(L',', begin);
    if (end == std::wstring::npos) end = setting.size();
    std::size_t first = begin;
    std::size_t last = end;
    while (first < last && IsBlank(setting[first])) ++first;
    while (last > first && IsBlank(setting[last - 1])) --last;
    const std::int32_t code = GTIni::ToInt32(setting.substr(first, last - first), 0);
    if (MayRepeat(code)) Set(code, true);
    begin = end + 1;
  }
}

std::wstring SkillKeys::ListText() const {
  std::wstring text;
  for (std::int32_t code = 1; code < 256; ++code) {
    if (!codes_[code]) continue;
    if (!text.empty()) text += L',';
    text += GTIni::ToDecimal(code);
  }
  return text;
}

}  // namespace key_watcher
