#pragma once

// A DLL that is not one of Windows' KnownDLLs is looked for in the exe's own
// folder first, and the exe is often run from a Downloads folder: whatever
// lies there under such a name would run inside the tool. So the search is
// restricted at start, and DLLs the tool loads itself come from the system
// folder only.
#include <windows.h>

#include "platform/win32/owned.h"

namespace win32 {

using Library = Owned<HMODULE, &FreeLibrary>;

// The first call at start, before any window, DLL or COM call.
void RestrictDllSearch();

// A DLL of Windows by its bare name ("winmm.dll"), from the system folder
// only, its own imports included; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace win32
