#include <windows.h>

#include "windows/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunYorisen(); }
