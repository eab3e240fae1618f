#pragma once

#include <cstdint>
#include <memory>

#include "engine/admin_foreground.h"
#include "engine/key_watcher.h"
#include "engine/parking_tick.h"
#include "platform/forms.h"
#include "tray/CTray.h"

class Form2;

// The main window: captures the three keys, sets the tick period, stops the
// feature, and owns the watcher's state and its timer.
class Form1 final : public ui::Form, public WatcherState {
 public:
  explicit Form1(Form2& form2);

  ui::Frame Frame1;
  ui::Label LblLeft;
  ui::Label LblRight;
  ui::Label LblOnOff;
  // Key boxes: 0 left-click key, 1 right-click key, 2 on/off key.
  ui::TextBox TextKey[3];
  ui::Label LblInterval;
  ui::TextBox TextInterval;
  ui::CheckBox ChkStop;
  // Skill keys: ChkF 0..7 list F1..F8.
  ui::Frame FrameSkill;
  ui::CheckBox ChkF[key_watcher::kSkillBoxes];
  ui::Label LblSkill;
  ui::Timer Timer1;

  // The last period the interval box accepted.
  std::int32_t LastInterval = 40;

  std::shared_ptr<CTray> mTray;

  // Starts this exe again elevated, with the settings as they stand, and
  // ends this copy; a declined prompt leaves it running as it was. owner:
  // our window in front, which the UAC prompt comes up over.
  void RestartElevated(platform::WindowHandle owner);
  // The tray menu's program items: the last program in front joins the
  // list or leaves it; the list is emptied.
  void ToggleLastProgram();
  void UseInAllPrograms();

 protected:
  void Form_Load() override;
  void Form_Unload(std::int16_t& Cancel) override;
  void Form_ShowRequest() override;

 private:
  void TextKey_KeyDown(std::int16_t Index, std::int16_t& KeyCode, std::int16_t Shift);
  void ShowKey(std::int16_t Index);
  void TextInterval_Change();
  void ChkStop_Click();
  void ChkF_Click(std::int16_t Index);
  void ShowSkills();
  void Timer1_Timer();
  void mTray_Click();
  void mTray_MouseDown(std::int16_t Button);
  void Form_ForegroundChanged();
  void ShowProgramItems();
  void ShowState();
  void ReloadIcons();
  void WriteSettings();

  Form2& form2_;
  // Runs the watcher on Timer1, which sleeps while no key is held.
  key_watcher::ParkingTick tick_;
  // Judged at each foreground change and on Timer1's ticks, the parked
  // heartbeat included.
  key_watcher::AdminForeground adminFront_;
  // The list as it was read: an emptied one must be written back.
  bool programsStored_ = false;
  bool skillsStored_ = false;
};
