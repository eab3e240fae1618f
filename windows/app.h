#pragma once

#include "windows/Form1.h"
#include "windows/Form2.h"

// The program's two forms, which refer to each other by name.
struct Forms {
  Forms() : form1(form2) { form2.SetMainForm(form1); }
  Form2 form2;
  Form1 form1;
};

// Loads and shows the main window, runs until the last form unloads, then
// releases what the window registry still holds. Returns the exit code.
int RunYorisen();
