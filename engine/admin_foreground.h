#pragma once

#include "platform/os_elevation.h"

namespace key_watcher {

// Whether Windows' UIPI keeps this copy from the window in front: a program
// at a higher integrity level, such as an administrator's (elevated) one,
// while this copy is not. The keys are then hidden from us and our clicks
// dropped, so nothing can happen there.
class AdminForeground {
 public:
  // Looks at the window in front; a token is read only when that window
  // changed. True when Blocked() changed.
  bool Update();
  bool Blocked() const { return blocked_; }

 private:
  bool Judge(platform::WindowHandle front);

  platform::WindowHandle judged_ = 0;
  bool blocked_ = false;
  bool ownKnown_ = false;
  os::Elevation own_;
  bool traced_ = false;
};

}  // namespace key_watcher
