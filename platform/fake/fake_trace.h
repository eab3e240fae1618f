#pragma once

#include <string>
#include <vector>

#include "platform/os_trace.h"

namespace fake {

struct TraceState {
  std::vector<std::wstring> traces;
};

}  // namespace fake
