#pragma once

#include "platform/forms.h"

class Form1;

// Never shown: it owns the tray menu and receives its commands.
class Form2 final : public ui::Form {
 public:
  Form2();
  void SetMainForm(Form1& form1) { form1_ = &form1; }

  ui::Menu Opt;
  ui::Menu OptStop;
  ui::Menu OptProgram;
  ui::Menu OptAllPrograms;
  ui::Menu OptRestart;
  ui::Menu OptLine;
  ui::Menu OptEnd;

 protected:
  void Form_Unload(std::int16_t& Cancel) override;

 private:
  void OptStop_Click();
  void OptProgram_Click();
  void OptAllPrograms_Click();
  void OptRestart_Click();
  void OptEnd_Click();

  Form1* form1_ = nullptr;
};
