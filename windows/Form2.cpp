#include "windows/Form2.h"

#include "platform/os_elevation.h"
#include "windows/Form1.h"

Form2::Form2()
    : ui::Form(ui::FormStyle{L"YorisenForm2", L"Form2", 4680, 3195, false, false, 0}),
      Opt(*this, nullptr, L"オプション"),
      OptStop(*this, &Opt, L"機能を停止させる"),
      // Named and shown as the menu opens.
      OptProgram(*this, &Opt, L"「」でだけ使う"),
      OptAllPrograms(*this, &Opt, L"すべてのプログラムで使う"),
      OptRestart(*this, &Opt, L"管理者として再起動"),
      OptLine(*this, &Opt, L"-"),
      OptEnd(*this, &Opt, L"終了する") {
  // Only in an administrator's unelevated copy: for a standard user it
  // would start a copy under another account, with other settings.
  OptRestart.SetVisible(os::OwnElevation().type == os::ElevationType::Limited);
  OptProgram.SetVisible(false);
  OptAllPrograms.SetVisible(false);
  OptStop.Click = [this] { OptStop_Click(); };
  OptProgram.Click = [this] { OptProgram_Click(); };
  OptAllPrograms.Click = [this] { OptAllPrograms_Click(); };
  OptRestart.Click = [this] { OptRestart_Click(); };
  OptEnd.Click = [this] { OptEnd_Click(); };
}

void Form2::OptStop_Click() {
  ui::CheckBox& box = form1_->ChkStop;
  box.SetValue(box.Value() == ui::CheckBox::kChecked ? ui::CheckBox::kUnchecked
                                                     : ui::CheckBox::kChecked);
}

void Form2::OptProgram_Click() { form1_->ToggleLastProgram(); }

void Form2::OptAllPrograms_Click() { form1_->UseInAllPrograms(); }

// The menu's owner, still in front while its command runs.
void Form2::OptRestart_Click() { form1_->RestartElevated(hWnd()); }

void Form2::OptEnd_Click() { Unload(); }

void Form2::Form_Unload(std::int16_t& Cancel) {
  (void)Cancel;
  form1_->Unload();
}
