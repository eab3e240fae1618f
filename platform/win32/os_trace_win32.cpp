// The quiet trace over Win32: the debugger's output.
#include <windows.h>

#include "platform/os_trace.h"

namespace os {

void Trace(const std::wstring& line) {
  const std::wstring text = L"yorisen: " + line + L"\n";
  OutputDebugStringW(text.c_str());
}

}  // namespace os
