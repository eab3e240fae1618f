#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// Traces a failed call with the thread's last error; call it right after the
// failure, before anything else can change that error. The names of calls
// are plain ASCII, kept narrow: half the bytes in the exe.
void TraceFailure(const char* call, DWORD error = GetLastError());
void TraceFailure(const std::wstring& call, DWORD error = GetLastError());

}  // namespace win32
