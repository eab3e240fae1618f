// Random config.ini values and interval-box input: the settings conversion
// and the interval rule must always leave a valid state behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/GTIni.h"
#include "engine/interval_rule.h"
#include "platform/fake/fake_platform.h"
#include "tray/mdlSubClass.h"
#include "windows/app.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Bytes to text: pairs of bytes as UTF-16 code units, digits made likely.
std::wstring Text(const std::uint8_t*& data, std::size_t& size) {
  std::wstring text;
  if (size == 0) return text;
  std::size_t length = data[0] % 12;
  ++data;
  --size;
  while (length-- > 0 && size >= 2) {
    const unsigned unit = data[0] | (data[1] << 8);
    text.push_back(static_cast<wchar_t>(unit % 5 == 0 ? L'0' + unit % 10 : unit));
    data += 2;
    size -= 2;
  }
  return text;
}

void CheckIntervalBox(const Form1& form) {
  const std::wstring& text = form.TextInterval.Text();
  Check(!text.empty() && text.size() <= 3 && interval_rule::AllDigits(text));
  const std::int32_t interval = form.Timer1.Interval();
  Check(interval >= 1 && interval <= 999);
  Check(interval == interval_rule::DigitsValue(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fake::Reset();
  mdlSubClass::Discard();

  const std::wstring a = Text(data, size);
  const std::int32_t parsed = GTIni::ToInt32(a, -77);
  if (parsed != -77) Check(GTIni::ToInt32(GTIni::ToDecimal(parsed), -77) == parsed);
  const std::wstring corrected = interval_rule::Corrected(a, 40);
  Check(!corrected.empty() && interval_rule::AllDigits(corrected));
  Check(interval_rule::DigitsValue(corrected) > 0);

  const std::wstring ini = L"C:\\Tools\\Yorisen\\config.ini";
  GTIni::WriteIni(L"Config", L"LeftKey", Text(data, size), ini);
  GTIni::WriteIni(L"Config", L"Interval", Text(data, size), ini);
  const std::wstring skillText = Text(data, size);
  GTIni::WriteIni(L"Config", L"SkillKeys", skillText, ini);
  {
    Forms forms;
    forms.form1.Load();
    CheckIntervalBox(forms.form1);
    // Only keys that may repeat, and the text reads back the same.
    const key_watcher::SkillKeys& skills = forms.form1.Skills;
    key_watcher::SkillKeys again;
    again.SetList(skills.ListText());
    for (std::int32_t code = -1; code <= 256; ++code) {
      Check(!skills.Listed(code) || key_watcher::MayRepeat(code));
      Check(again.Listed(code) == skills.Listed(code));
    }
    while (size > 0) {
      const bool program = (data[0] & 1) != 0;
      const std::wstring typed = Text(data, size);
      if (program) {
        forms.form1.TextInterval.SetText(typed);
      } else {
        fake::Type(forms.form1.TextInterval, typed);
      }
      CheckIntervalBox(forms.form1);
    }
    fake::Get().writes.clear();
    forms.form1.Unload();
    Check(!forms.form1.Loaded() && fake::Get().writes.size() == (skillText.empty() ? 4u : 5u));
  }
  mdlSubClass::Discard();
  return 0;
}
