#include "platform/os_trace.h"

namespace os {

void Trace(const char* text, const std::wstring& tail) {
  std::wstring line;
  while (*text != '\0') line += static_cast<wchar_t>(*text++);
  Trace(line + tail);
}

}  // namespace os
