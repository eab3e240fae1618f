#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_elevation.h"

namespace fake {

using platform::WindowHandle;

struct ElevationState {
  // This process's token, and how other windows' processes answer (No when
  // not listed); every window asked, in order.
  os::Elevation ownElevation;
  std::map<WindowHandle, os::Elevated> windowElevation;
  std::map<WindowHandle, std::uint32_t> windowIntegrity;  // 0 when not listed
  std::vector<WindowHandle> elevationQueries;
  // Windows that filter our messages (UIPI), and every one probed, in order.
  std::set<WindowHandle> filteredWindows;
  std::vector<WindowHandle> messageProbes;
  // StartElevated calls (shown or not), and the error each fails with (0:
  // it starts).
  std::vector<bool> elevatedStarts;
  std::wstring elevatedStartPath;  // the last one's
  // The last one's window, and the window in front at the call.
  std::pair<WindowHandle, WindowHandle> elevatedStartWindows;
  std::uint32_t elevatedStartError = 0;
};

}  // namespace fake
