#include "engine/GTIni.h"
#include "engine/interval_rule.h"
#include "fixture.h"
#include "windows/app.h"

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

TEST_F(SettingsTest, SettingsStayBesideTheExeUnlessTheFolderRefusesWrites) {
  const std::wstring beside = L"C:\\Tools\\Yorisen\\config.ini";
  // Missing file in a writable folder; a file briefly held elsewhere; a
  // read-only file in a writable folder (frozen on purpose).
  for (const os::Access file : {os::Access::Missing, os::Access::Busy, os::Access::Denied}) {
    fake::Reset();
    os().access[beside] = file;
    GTIni::InitIniPath();
    EXPECT_EQ(GTIni::IniPath, beside);
    EXPECT_EQ(os().traces, std::vector<std::wstring>{});
  }
  // Writable file in a folder that takes no new files.
  fake::Reset();
  GTIni::WriteIni(L"Config", L"LeftKey", L"65", beside);
  os().access[L"C:\\Tools\\Yorisen\\"] = os::Access::Denied;
  GTIni::InitIniPath();
  EXPECT_EQ(GTIni::IniPath, beside);

  fake::Reset();
  os().access[L"C:\\Tools\\Yorisen\\"] = os::Access::Denied;
  GTIni::InitIniPath();
  const std::wstring mine = L"C:\\Users\\me\\AppData\\Roaming\\Yorisen\\config.ini";
  EXPECT_EQ(GTIni::IniPath, mine);
  EXPECT_EQ(GTIni::AppDir, L"C:\\Tools\\Yorisen\\");
  EXPECT_EQ(os().createdFolders,
            std::vector<std::wstring>{L"C:\\Users\\me\\AppData\\Roaming\\Yorisen"});
  EXPECT_EQ(os().traces, std::vector<std::wstring>{
                             L"settings: the program folder refuses writes, using " + mine});
}

TEST_F(SettingsTest, AnElevatedCopyKeepsTheSettingsWhereTheUsersNormalCopyWould) {
  // Program Files: the elevated half may write there, the user's own may
  // not; a read-only config.ini refuses both; no per-user folder at all.
  const std::wstring pf = L"C:\\Program Files\\Yorisen\\";
  const std::wstring mine = L"C:\\Users\\me\\AppData\\Roaming\\Yorisen\\config.ini";
  struct Case {
    const wchar_t* folder;
    bool fileExists;
    bool fileReadOnly;
    bool noRoaming;
    const wchar_t* expected;  // null: beside the exe
  };
  for (const Case c : {Case{L"C:\\Tools\\Yorisen\\", true, false, false, nullptr},
                       Case{L"C:\\Tools\\Yorisen\\", false, false, false, nullptr},
                       Case{pf.c_str(), false, false, false, mine.c_str()},
                       Case{pf.c_str(), true, false, false, mine.c_str()},
                       Case{pf.c_str(), true, true, false, mine.c_str()},
                       Case{pf.c_str(), false, false, true, nullptr}}) {
    for (const os::ElevationType type : {os::ElevationType::Limited, os::ElevationType::Full}) {
      fake::Reset();
      const std::wstring folder = c.folder;
      const std::wstring beside = folder + L"config.ini";
      os().modulePath = folder + L"yorisen.exe";
      os().ownElevation = {type == os::ElevationType::Full, type};
      if (c.fileExists) GTIni::WriteIni(L"Mine", L"Keep", L"1", beside);
      if (c.noRoaming) os().roamingAppData.clear();
      const bool full = type == os::ElevationType::Full;
      if (folder == pf) {
        // What each token may do: the probe asks this process's own.
        os().access[folder] = full ? os::Access::Granted : os::Access::Denied;
        os().unelevatedAccess[folder] = os::Access::Denied;
        if (c.fileExists) {
          const os::Access file =
              full && !c.fileReadOnly ? os::Access::Granted : os::Access::Denied;
          os().access[beside] = file;
          os().unelevatedAccess[beside] = os::Access::Denied;
        }
      }
      GTIni::InitIniPath();
      EXPECT_EQ(GTIni::IniPath, c.expected ? std::wstring(c.expected) : beside)
          << (full ? "full " : "limited ") << std::string(beside.begin(), beside.end())
          << c.fileExists << c.fileReadOnly << c.noRoaming;
    }
  }
}

TEST_F(SettingsTest, AnElevatedCopyTrustsTheProbeOnAShareAndLeavesAFolderItCannotReach) {
  // The user's own token is refused everywhere by the security the path
  // carries, which on a share is not the whole answer.
  struct Case {
    const wchar_t* folder;
    os::Access probed;
    bool full;
    bool beside;
  };
  for (const Case c : {Case{L"\\\\server\\share\\", os::Access::Granted, true, true},
                       Case{L"Z:\\", os::Access::Granted, true, true},  // a mapped drive
                       Case{L"C:\\Tools\\", os::Access::Granted, true, false},
                       Case{L"\\\\server\\gone\\", os::Access::Missing, true, false},
                       Case{L"\\\\server\\gone\\", os::Access::Failed, true, false},
                       Case{L"\\\\server\\gone\\", os::Access::Failed, false, true}}) {
    fake::Reset();
    const std::wstring folder = c.folder;
    os().modulePath = folder + L"yorisen.exe";
    os().ownElevation = {c.full, c.full ? os::ElevationType::Full : os::ElevationType::Limited};
    os().networkDrives = {L"Z:\\"};
    os().access[folder] = c.probed;
    os().unelevatedAccess[folder] = os::Access::Denied;
    GTIni::InitIniPath();
    EXPECT_EQ(GTIni::IniPath, c.beside ? folder + L"config.ini"
                                       : L"C:\\Users\\me\\AppData\\Roaming\\Yorisen\\config.ini")
        << std::string(folder.begin(), folder.end()) << static_cast<int>(c.probed) << c.full;
  }
}

TEST_F(SettingsTest, ANewPerUserFileTakesTheVirtualStoreCopyFirstThenTheFileBesideTheExe) {
  const std::wstring beside = L"C:\\Program Files\\Yorisen\\config.ini";
  const std::wstring store =
      L"C:\\Users\\me\\AppData\\Local\\VirtualStore\\Program Files\\Yorisen\\config.ini";
  const std::wstring mine = L"C:\\Users\\me\\AppData\\Roaming\\Yorisen\\config.ini";
  const auto start = [&] {
    os().modulePath = L"C:\\Program Files\\Yorisen\\yorisen.exe";
    os().access[L"C:\\Program Files\\Yorisen\\"] = os::Access::Denied;
    os().access[beside] = os::Access::Denied;
    GTIni::InitIniPath();
    EXPECT_EQ(GTIni::IniPath, mine);
    return GTIni::GetIni(L"Config", L"LeftKey", L"37", mine);
  };
  GTIni::WriteIni(L"Config", L"LeftKey", L"65", store);
  GTIni::WriteIni(L"Config", L"LeftKey", L"66", beside);
  EXPECT_EQ(start(), L"65");
  EXPECT_EQ(os().traces.back(), L"settings: the program folder refuses writes, using " + mine +
                                    L", carried over from " + store);

  os().files.erase(mine);
  os().files.erase(store);
  EXPECT_EQ(start(), L"66");

  // Once the per-user file exists, it alone counts.
  GTIni::WriteIni(L"Config", L"LeftKey", L"67", store);
  EXPECT_EQ(start(), L"66");
  EXPECT_EQ(os().copies.size(), 2u);
}

TEST_F(SettingsTest, OnePathAndOneKeyHoweverTheExeWasStarted) {
  const std::wstring plain = L"C:\\Program Files\\Yorisen\\yorisen.exe";
  const std::wstring unc = L"\\\\srv\\share\\Yorisen\\yorisen.exe";
  const std::wstring final = L"\\\\?\\" + plain;
  const std::wstring finalUnc = L"\\\\?\\UNC\\srv\\share\\Yorisen\\yorisen.exe";
  struct Case {
    std::wstring started;
    std::wstring final;  // empty: the system cannot tell
    std::wstring expected;
  };
  for (const Case& c :
       {Case{plain, final, plain}, Case{L"C:\\PROGRA~1\\Yorisen\\yorisen.exe", final, plain},
        Case{L"c:\\program files\\yorisen\\YORISEN.EXE", final, plain}, Case{final, final, plain},
        Case{final, L"", plain}, Case{unc, finalUnc, unc}, Case{finalUnc, L"", unc}}) {
    fake::Reset();
    os().modulePath = c.started;
    os().finalPaths[c.started] = c.final;
    const std::string at(c.started.begin(), c.started.end());
    EXPECT_EQ(GTIni::ProgramPath(), c.expected) << at;
    EXPECT_EQ(InstanceKey(GTIni::ProgramPath()), InstanceKey(c.expected)) << at;
  }
  // A folder past MAX_PATH keeps the prefix the system needs for it.
  fake::Reset();
  const std::wstring deep = L"\\\\?\\C:\\" + std::wstring(300, L'd') + L"\\";
  os().modulePath = deep + L"yorisen.exe";
  GTIni::InitIniPath();
  EXPECT_EQ(GTIni::AppDir, deep);
  EXPECT_EQ(GTIni::IniPath, deep + L"config.ini");
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

TEST_F(SettingsTest, EachClickKeyMayBeItsOwnButtonOnlyAndTheOnOffKeyNeither) {
  const std::wstring file = L"C:\\a.ini";
  GTIni::WriteIni(L"Config", L"LeftKey", L"1", file);
  GTIni::WriteIni(L"Config", L"RightKey", L"+2", file);
  GTIni::WriteIni(L"Config", L"OnOffKey", L"4", file);  // the middle button is never clicked
  GTIni::WriteIni(L"Config", L"Other", L"2", file);
  EXPECT_EQ(GTIni::GetKeyCode(L"Config", L"LeftKey", 37, 1, file), 1);
  EXPECT_EQ(GTIni::GetKeyCode(L"Config", L"RightKey", 39, 2, file), 2);
  EXPECT_EQ(GTIni::GetKeyCode(L"Config", L"OnOffKey", 38, 0, file), 4);
  EXPECT_EQ(GTIni::GetKeyCode(L"Config", L"Missing", 38, 0, file), 38);
  EXPECT_EQ(GTIni::GetKeyCode(L"Config", L"LeftKey", 37, 2, file), 37);
  EXPECT_EQ(GTIni::GetKeyCode(L"Config", L"Other", 38, 0, file), 38);
  EXPECT_EQ(os().traces,
            (std::vector<std::wstring>{L"settings: LeftKey=1 is a mouse button, using 37",
                                       L"settings: Other=2 is a mouse button, using 38"}));
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
