// Test only: an exe with static imports of DLLs that are not KnownDLLs,
// which check_imports.py must refuse by name.
#include <windows.h>
// Needs windows.h first.
#include <mmsystem.h>

int wmain(void) { return (int)(timeGetTime() & 1) + (int)GetFileVersionInfoSizeW(L"x", NULL); }
