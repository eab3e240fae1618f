// The quiet trace over Win32: the debugger's output.
#include <windows.h>

#include "platform/decimal.h"
#include "platform/os_trace.h"
#include "platform/win32/trace.h"

namespace os {

void Trace(const std::wstring& line) {
  const std::wstring text = L"yorisen: " + line + L"\n";
  OutputDebugStringW(text.c_str());
}

}  // namespace os

namespace win32 {

void TraceFailure(const std::wstring& call, DWORD error) {
  os::Trace(call + L" failed, error " + platform::Decimal(error));
}

void TraceFailure(const char* call, DWORD error) {
  os::Trace(call, L" failed, error " + platform::Decimal(error));
}

}  // namespace win32
