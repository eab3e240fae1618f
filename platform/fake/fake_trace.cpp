#include "platform/fake/fake_platform.h"

namespace os {

void Trace(const std::wstring& line) { fake::Get().traces.push_back(line); }

}  // namespace os
