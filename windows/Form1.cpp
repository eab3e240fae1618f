#include "windows/Form1.h"

#include <algorithm>

#include "engine/GTIni.h"
#include "engine/interval_rule.h"
#include "platform/os_elevation.h"
#include "platform/os_held_input.h"
#include "platform/os_input.h"
#include "platform/os_instance.h"
#include "platform/os_shell.h"
#include "platform/os_trace.h"
#include "resources/resource.h"
#include "windows/Form2.h"
#include "windows/PopUpMenu.h"

namespace {

// With an input method on, a key box would see every key as VK_PROCESSKEY,
// and the interval box would get full-width digits, which its rule refuses.
constexpr ui::TextBox::Options kKeyBox{0, true, true};
constexpr ui::TextBox::Options kIntervalBox{interval_rule::kIntervalMaxChars, false, true};

const wchar_t* const kSection = L"Config";
const wchar_t* const kKeyNames[3] = {L"LeftKey", L"RightKey", L"OnOffKey"};
constexpr std::int32_t kKeyDefaults[3] = {vk::kLeft, vk::kRight, vk::kUp};
// The button each key may be.
constexpr std::int32_t kKeyButtons[3] = {key_watcher::kPrimaryButton, key_watcher::kSecondaryButton,
                                         0};

// How each box takes a key, for its tip.
const wchar_t* const kKeyHowTo[3] = {L"キーかボタンを押して設定（左ボタンは1秒長押し）",
                                     L"キーかボタンを押して設定（右ボタンは1秒長押し）",
                                     L"キーかボタンを押して設定（左右ボタンは不可）"};

// Skill box i (F1 is 0): four in a row, in two rows, tab indexes from 23.
ui::CheckBox SkillBox(ui::Form& form, ui::Frame& frame, int i) {
  const wchar_t caption[] = {L'F', static_cast<wchar_t>(L'1' + i), L'\0'};
  return ui::CheckBox(form, &frame, caption, {120 + i % 4 * 570, 300 + i / 4 * 300, 540, 255},
                      23 + i);
}

// One call per setting, with the names built once, here.
std::wstring ReadSetting(const wchar_t* key, std::size_t chars = GTIni::kReadBufferChars) {
  return GTIni::GetIni(kSection, key, L"", GTIni::IniPath, chars);
}

void WriteSetting(const wchar_t* key, const std::wstring& value) {
  GTIni::WriteIni(kSection, key, value, GTIni::IniPath);
}

// Buttons have no name in a keyboard layout.
std::wstring KeyName(std::int32_t keyCode) {
  switch (keyCode) {
    case 1:
      return L"マウス左ボタン";
    case 2:
      return L"マウス右ボタン";
    case 4:
      return L"マウス中ボタン";
    case 5:
      return L"マウス X1 ボタン";
    case 6:
      return L"マウス X2 ボタン";
    default:
      return os::KeyName(keyCode);
  }
}

}  // namespace

Form1::Form1(Form2& form2)
    : ui::Form(
          ui::FormStyle{L"YorisenForm1", L"Yorisen（仮名）", 2640, 3825, true, true, IDI_YORISEN}),
      Frame1(*this, nullptr, L"キー設定", {120, 120, 2415, 1575}, 0),
      LblLeft(*this, &Frame1, L"左クリック連打キー", {240, 405, 1470, 180}, 8),
      LblRight(*this, &Frame1, L"右クリック連打キー", {240, 765, 1470, 180}, 2),
      LblOnOff(*this, &Frame1, L"ON・OFFキー", {240, 1125, 1020, 180}, 3),
      TextKey{{*this, &Frame1, {1800, 360, 375, 270}, 1, kKeyBox},
              {*this, &Frame1, {1800, 720, 375, 270}, 4, kKeyBox},
              {*this, &Frame1, {1800, 1080, 375, 270}, 5, kKeyBox}},
      LblInterval(*this, nullptr, L"処理間隔(ms)", {360, 1845, 1065, 180}, 21),
      TextInterval(*this, nullptr, {1680, 1800, 375, 270}, 22, kIntervalBox),
      ChkStop(*this, nullptr, L"機能を停止させる", {360, 2160, 1695, 255}, 10),
      FrameSkill(*this, nullptr, L"即席スキル", {120, 2520, 2415, 1200}, 11),
      ChkF{SkillBox(*this, FrameSkill, 0), SkillBox(*this, FrameSkill, 1),
           SkillBox(*this, FrameSkill, 2), SkillBox(*this, FrameSkill, 3),
           SkillBox(*this, FrameSkill, 4), SkillBox(*this, FrameSkill, 5),
           SkillBox(*this, FrameSkill, 6), SkillBox(*this, FrameSkill, 7)},
      LblSkill(*this, &FrameSkill, L"※ ON・OFFｷｰ　　　対応してます。　", {120, 930, 2175, 180}, 31),
      Timer1(*this),
      form2_(form2),
      tick_(*this, *this, Timer1) {
  LblLeft.SetLabelFor(TextKey[0]);
  LblRight.SetLabelFor(TextKey[1]);
  LblOnOff.SetLabelFor(TextKey[2]);
  LblInterval.SetLabelFor(TextInterval);
  for (std::int16_t i = 0; i < 3; ++i) {
    TextKey[i].KeyDown = [this, i](std::int16_t& keyCode, std::int16_t shift) {
      TextKey_KeyDown(i, keyCode, shift);
    };
  }
  for (std::int16_t i = 0; i < key_watcher::kSkillBoxes; ++i) {
    ChkF[i].Click = [this, i] { ChkF_Click(i); };
  }
  TextInterval.Change = [this] { TextInterval_Change(); };
  ChkStop.Click = [this] { ChkStop_Click(); };
  Timer1.Tick = [this] { Timer1_Timer(); };
  Timer1.Alarm = [this] { tick_.Alarm(); };
  ForegroundChanged = [this] { Form_ForegroundChanged(); };
  RawKeyDown = [this](std::int32_t virtualKey) {
    tick_.KeyDown(virtualKey);
    ShowState();
  };
  RawKeyUp = [this](std::int32_t virtualKey) { tick_.KeyUp(virtualKey); };
  DpiChanged = [this] { ReloadIcons(); };
  // Minimised: the next tick hides the window, so it must come.
  Resize = [this] {
    if (WindowState() == 1) tick_.Wake();
  };
}

void Form1::Form_Load() {
  GTIni::InitIniPath();
  for (int i = 0; i < 3; ++i) {
    KeyCodes[i] =
        GTIni::GetKeyCode(kSection, kKeyNames[i], kKeyDefaults[i], kKeyButtons[i], GTIni::IniPath);
  }
  for (std::int16_t i = 0; i < 3; ++i) ShowKey(i);

  Timer1.SetInterval(GTIni::ToInt32(ReadSetting(L"Interval"), interval_rule::kDefaultInterval));
  LastInterval = interval_rule::kDefaultInterval;
  // Read, never written: few programs need another value, and a file
  // without it keeps following the period.
  PressTime = GTIni::ToInt32(ReadSetting(L"PressTime"), -1);
  HoldDelay = std::clamp(GTIni::ToInt32(ReadSetting(L"HoldDelay"), HoldDelay),
                         key_watcher::kShortestHoldDelayMs, key_watcher::kLongestHoldDelayMs);
  const std::wstring programs = ReadSetting(L"Programs", GTIni::kLongReadBufferChars);
  Programs.SetList(programs);
  programsStored_ = !programs.empty();
  const std::wstring skills = ReadSetting(L"SkillKeys");
  Skills.SetList(skills);
  skillsStored_ = !skills.empty();
  ShowSkills();
  // The box's rule corrects the stored period before the first tick.
  TextInterval.SetText(GTIni::ToDecimal(Timer1.Interval()));

  mTray = CTray::Create();
  mTray->Click = [this] { mTray_Click(); };
  mTray->MouseDown = [this](std::int16_t button) { mTray_MouseDown(button); };
  // The pointer on its way to the icon: the program the user leaves is
  // still in front, for the menu to name, should its foreground signal be
  // late or missing (Wine sends none).
  mTray->MouseMove = [this] { Programs.Update(); };
  mTray->TaskbarCreated = [this] { ReloadIcons(); };
  mTray->SetIcon(Icon());
  mTray->SetToolTipText(Caption());
  mTray->AddIcon(hWnd());
  // Without them the icon follows at the ticks, at least once a second.
  ListenForeground();

  WatchEnabled = true;
  StopFlg = false;
  FirstTick = true;
  Timer1.SetEnabled(true);
  tick_.Start(ListenRawKeys());
}

void Form1::WriteSettings() {
  GTIni::CreateIni(GTIni::IniPath);
  for (int i = 0; i < 3; ++i) {
    WriteSetting(kKeyNames[i], GTIni::ToDecimal(KeyCodes[i]));
  }
  WriteSetting(L"Interval", GTIni::ToDecimal(Timer1.Interval()));
  if (Programs.HasList() || programsStored_) WriteSetting(L"Programs", Programs.ListText());
  if (Skills.HasList() || skillsStored_) WriteSetting(L"SkillKeys", Skills.ListText());
}

void Form1::RestartElevated(platform::WindowHandle owner) {
  // The new copy reads them at once.
  WriteSettings();
  // Unmarked, this copy is no longer one a start hands over to: the new one
  // waits only for this one's claim to go.
  const std::uint32_t key = os::UnmarkInstanceWindow(hWnd());
  std::uint32_t error = 0;
  // A mapped drive is this logon session's alone, not the elevated one's:
  // the share's own name reaches the file from both.
  if (os::StartElevated(owner, GTIni::ProgramPath(), Visible(), error)) {
    // As the menu's exit item ends it.
    form2_.Unload();
    return;
  }
  if (key != 0) os::MarkInstanceWindow(hWnd(), key);
  if (error != os::kErrorCancelled) {
    os::Trace("cannot restart as administrator, error ", GTIni::ToDecimal(error));
  }
}

void Form1::Form_Unload(std::int16_t& Cancel) {
  (void)Cancel;
  // No button stays down after the tool.
  tick_.End();
  WriteSettings();
  // The registry keeps a shown icon until the program ends.
  mTray.reset();
  form2_.Unload();
}

// A second start from this folder: come forward as a tray click does.
void Form1::Form_ShowRequest() { mTray_Click(); }

void Form1::TextKey_KeyDown(std::int16_t Index, std::int16_t& KeyCode, std::int16_t Shift) {
  (void)Shift;
  if (KeyCode == vk::kAlt) return;
  if ((KeyCode == key_watcher::kPrimaryButton || KeyCode == key_watcher::kSecondaryButton) &&
      KeyCode != kKeyButtons[Index]) {
    KeyCode = 0;  // the box's own click, or its context menu
    return;
  }
  KeyCodes[static_cast<std::size_t>(Index)] = KeyCode;
  ShowKey(Index);
  ShowSkills();
  tick_.Wake();
}

// The box shows the code, which is what is stored; the tip names the key,
// and how to set another.
void Form1::ShowKey(std::int16_t Index) {
  const std::int32_t keyCode = KeyCodes[static_cast<std::size_t>(Index)];
  const std::wstring code = GTIni::ToDecimal(keyCode);
  const std::wstring name = KeyName(keyCode);
  TextKey[Index].SetText(code);
  TextKey[Index].SetToolTipText((name.empty() ? code : name + L" (" + code + L")") + L"\n" +
                                kKeyHowTo[Index]);
}

void Form1::TextInterval_Change() {
  const std::wstring& text = TextInterval.Text();
  const std::wstring corrected = interval_rule::Corrected(text, LastInterval);
  // Runs this handler again, nested, on the corrected text.
  if (corrected != text) TextInterval.SetText(corrected);
  // The text now stands corrected: digits only, never empty.
  LastInterval = interval_rule::DigitsValue(TextInterval.Text());
  Timer1.SetInterval(LastInterval);
  tick_.Wake();
}

void Form1::ChkStop_Click() {
  StopFlg = ChkStop.Value() == ui::CheckBox::kChecked;
  tick_.Wake();
  ShowState();
  form2_.Load();
  form2_.OptStop.SetChecked(!form2_.OptStop.Checked());
}

void Form1::ChkF_Click(std::int16_t Index) {
  Skills.Set(key_watcher::kFirstSkillBox + Index, ChkF[Index].Value() == ui::CheckBox::kChecked);
  tick_.Wake();
}

// A key of one of the key boxes keeps that role: its skill box is greyed.
void Form1::ShowSkills() {
  for (std::int16_t i = 0; i < key_watcher::kSkillBoxes; ++i) {
    const std::int32_t code = key_watcher::kFirstSkillBox + i;
    ChkF[i].SetValue(Skills.Listed(code) ? ui::CheckBox::kChecked : ui::CheckBox::kUnchecked);
    ChkF[i].SetEnabled(code != KeyCodes[0] && code != KeyCodes[1] && code != KeyCodes[2]);
  }
}

// Also at the ticks: the foreground's signal may be missing.
void Form1::Timer1_Timer() {
  tick_.Tick();
  Form_ForegroundChanged();
}

void Form1::Form_ForegroundChanged() {
  Programs.Update();
  adminFront_.Update();
  // The button hook hears nothing over an administrator's window, the
  // user's up included.
  if (adminFront_.Blocked()) os::ForgetHeldInput();
  ShowState();
}

// Whether clicks can come shows on the icons and in the tray's tip, so that
// an on/off key pressed by mistake, an administrator's window in front, or
// a program not listed, does not go unnoticed.
void Form1::ShowState() {
  if (!mTray) return;
  const bool blocked = adminFront_.Blocked();
  const bool switchedOn = WatchEnabled && !StopFlg;
  const bool listed = Programs.ShownAllows();
  const bool on = switchedOn && !blocked && listed;
  // Blocked names the cause the user can act on, off or not.
  std::wstring tip = Caption();
  if (blocked) {
    tip += L"\n管理者として実行中のウィンドウでは使えません";
  } else if (!switchedOn) {
    tip += L"\nOFF";
  } else if (!listed) {
    tip += L"\n登録していないプログラムでは使いません";
  }
  if (on != IconGreyed() && tip == mTray->ToolTipText()) return;
  SetIconGreyed(!on);
  mTray->SetIconAndToolTipText(Icon(), tip);
}

// The tray's icon size follows the primary display's DPI, the window's its
// own: both may have changed since the icons were loaded.
void Form1::ReloadIcons() {
  ReloadIcon();
  if (mTray) mTray->SetIcon(Icon());
}

void Form1::mTray_Click() {
  // Restored as it is shown: shown, then restored, it would come into view
  // minimised for a moment, on the taskbar.
  Show();
  os::BringToForeground(hWnd());
}

void Form1::mTray_MouseDown(std::int16_t Button) {
  if (Button != 2) return;
  ShowProgramItems();
  PopUpMenu::ShowTrayMenu(form2_, 0);
}

// The program items name the last program in front before the menu: the
// taskbar the click came through and our own windows do not count.
void Form1::ShowProgramItems() {
  Programs.Update();
  const std::wstring& name = Programs.LastProgram();
  form2_.Load();
  if (!name.empty()) {
    const bool others = Programs.ListsOtherThan(name);
    form2_.OptProgram.SetCaption(L"「" + name + (others ? L"」でも使う" : L"」でだけ使う"));
    form2_.OptProgram.SetChecked(Programs.Listed(name));
  }
  form2_.OptProgram.SetVisible(!name.empty());
  form2_.OptAllPrograms.SetVisible(Programs.HasList());
}

void Form1::ToggleLastProgram() {
  Programs.Toggle(Programs.LastProgram());
  ShowState();
}

void Form1::UseInAllPrograms() {
  Programs.ClearList();
  ShowState();
}
