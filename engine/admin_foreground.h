#pragma once

#include "platform/types.h"

namespace key_watcher {

// Whether the window in front belongs to an administrator's (elevated)
// program while this copy is not elevated. Windows' UIPI then hides the
// keys from us and drops our clicks, so nothing can happen there.
class AdminForeground {
 public:
  // Looks at the window in front; a token is read only when that window
  // changed. True when Blocked() changed.
  bool Update();
  bool Blocked() const { return blocked_; }

 private:
  platform::WindowHandle judged_ = 0;
  bool blocked_ = false;
  bool ownKnown_ = false;
  bool ownElevated_ = false;
  bool traced_ = false;
};

}  // namespace key_watcher
