#pragma once

#include <cstdint>
#include <string>

#include "windows/Form1.h"
#include "windows/Form2.h"

// The program's two forms, which refer to each other by name.
struct Forms {
  Forms() : form1(form2) { form2.SetMainForm(form1); }
  Form2 form2;
  Form1 form1;
};

// Stands for the folder of the exe at exePath, whatever the letter case.
std::uint32_t InstanceKey(const std::wstring& exePath);

// Unless a copy from the same folder runs already (which is then brought
// forward), loads the main window, shows it or starts in the tray, runs
// until the last form unloads, then releases what the window registry still
// holds. Returns the exit code.
int RunYorisen(bool startInTray);
