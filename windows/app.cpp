#include "windows/app.h"

#include "platform/native.h"
#include "tray/mdlSubClass.h"

int RunYorisen() {
  int code = 0;
  {
    Forms forms;
    forms.form1.Load();
    forms.form1.Show();
    code = ui::native::RunMessageLoop();
    // Ends the tray icon object with the collections that hold it.
    mdlSubClass::Discard();
  }
  return code;
}
