#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/os_instance.h"

namespace fake {

using platform::WindowHandle;

struct InstanceState {
  // Keys held by other processes, and the windows they marked.
  std::map<std::uint32_t, WindowHandle> instances;
  std::map<std::uint32_t, WindowHandle> markedWindows;
  std::vector<std::uintptr_t> released;
  std::vector<WindowHandle> showRequests;
  // Runs at each pause with the milliseconds paused; the clock moves on.
  std::function<void(std::uint32_t)> onPause;
};

}  // namespace fake
