#pragma once

#include <windows.h>

#include <string>

#include "platform/decimal.h"
#include "platform/os_trace.h"

namespace win32 {

// Traces a failed call with the thread's last error; call it right after the
// failure, before anything else can change that error.
inline void TraceFailure(const wchar_t* call, DWORD error = GetLastError()) {
  os::Trace(std::wstring(call) + L" failed, error " + platform::Decimal(error));
}

}  // namespace win32
