#include "engine/GTIni.h"
#include "engine/interval_rule.h"
#include "fixture.h"

namespace {

class SettingsTest : public FakeTest {};

TEST_F(SettingsTest, IniPathSitsBesideTheExecutable) {
  os().modulePath = L"C:\\Tools\\Yorisen\\yorisen.exe";
  GTIni::InitIniPath();
  EXPECT_EQ(GTIni::AppDir, L"C:\\Tools\\Yorisen\\");
  EXPECT_EQ(GTIni::IniPath, L"C:\\Tools\\Yorisen\\config.ini");

  os().modulePath = L"D:\\yorisen.exe";  // drive root: one separator only
  GTIni::InitIniPath();
  EXPECT_EQ(GTIni::IniPath, L"D:\\config.ini");

  os().modulePath = L"C:\\テスト ü\\yorisen.exe";
  GTIni::InitIniPath();
  EXPECT_EQ(GTIni::IniPath, L"C:\\テスト ü\\config.ini");
}

TEST_F(SettingsTest, GetIniGivesTheDefaultForMissingFileSectionOrKey) {
  EXPECT_EQ(GTIni::GetIni(L"Config", L"LeftKey", L"37", L"C:\\none.ini"), L"37");
  GTIni::WriteIni(L"Other", L"LeftKey", L"1", L"C:\\a.ini");
  EXPECT_EQ(GTIni::GetIni(L"Config", L"LeftKey", L"37", L"C:\\a.ini"), L"37");
  GTIni::WriteIni(L"Config", L"RightKey", L"1", L"C:\\a.ini");
  EXPECT_EQ(GTIni::GetIni(L"Config", L"LeftKey", L"37", L"C:\\a.ini"), L"37");
  EXPECT_EQ(GTIni::GetIni(L"config", L"rightkey", L"39", L"C:\\a.ini"), L"1");
}

TEST_F(SettingsTest, ValueLongerThanTheBufferIsCut) {
  GTIni::WriteIni(L"Config", L"LeftKey", std::wstring(5000, L'7'), L"C:\\a.ini");
  EXPECT_EQ(GTIni::GetIni(L"Config", L"LeftKey", L"37", L"C:\\a.ini").size(), 1023u);
}

TEST_F(SettingsTest, WriteReplacesInPlaceAndKeepsTheUsersOwnEntries) {
  const std::wstring file = L"C:\\a.ini";
  GTIni::WriteIni(L"Mine", L"Note", L"keep me", file);
  GTIni::WriteIni(L"Config", L"LeftKey", L"37", file);
  GTIni::WriteIni(L"Config", L"Extra", L"x", file);
  GTIni::WriteIni(L"Config", L"LeftKey", L"65", file);
  EXPECT_EQ(fake::FileText(file),
            L"[Mine]\r\nNote=keep me\r\n[Config]\r\nLeftKey=65\r\nExtra=x\r\n");
}

TEST_F(SettingsTest, ToInt32AcceptsSignedDecimalsThatFitAndNothingElse) {
  EXPECT_EQ(GTIni::ToInt32(L"65", 1), 65);
  EXPECT_EQ(GTIni::ToInt32(L"-5", 1), -5);
  EXPECT_EQ(GTIni::ToInt32(L"+65", 1), 65);
  EXPECT_EQ(GTIni::ToInt32(L"2147483647", 1), 2147483647);
  EXPECT_EQ(GTIni::ToInt32(L"-2147483648", 1), INT32_MIN);
  for (const wchar_t* bad : {L"", L"abc", L"12x", L"0x41", L" 12", L"-", L"+", L"99999999999",
                             L"2147483648", L"-2147483649", L"１２", L"1.5"}) {
    EXPECT_EQ(GTIni::ToInt32(bad, 40), 40) << "for \"" << std::wstring(bad).size() << " chars\"";
  }
}

TEST_F(SettingsTest, ToDecimalWritesPlainDecimalsToTheEdgesOfTheRange) {
  EXPECT_EQ(GTIni::ToDecimal(0), L"0");
  EXPECT_EQ(GTIni::ToDecimal(40), L"40");
  EXPECT_EQ(GTIni::ToDecimal(-5), L"-5");
  EXPECT_EQ(GTIni::ToDecimal(INT64_MAX), L"9223372036854775807");
  EXPECT_EQ(GTIni::ToDecimal(INT64_MIN), L"-9223372036854775808");
}

TEST_F(SettingsTest, IntervalRuleCorrectsTextTheWayTheBoxShowsIt) {
  using interval_rule::Corrected;
  EXPECT_EQ(Corrected(L"", 40), L"1");
  EXPECT_EQ(Corrected(L"0", 40), L"1");
  EXPECT_EQ(Corrected(L"000", 40), L"1");
  EXPECT_EQ(Corrected(L"007", 40), L"007");
  EXPECT_EQ(Corrected(L"999", 40), L"999");
  EXPECT_EQ(Corrected(L"4a", 25), L"25");
  EXPECT_EQ(Corrected(L"-5", 40), L"40");
  EXPECT_EQ(Corrected(L"１", 40), L"40") << "full-width digits are no digits";
  EXPECT_EQ(interval_rule::DigitsValue(L"007"), 7);
}

}  // namespace
