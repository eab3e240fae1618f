#include "engine/admin_foreground.h"

#include "platform/decimal.h"
#include "platform/os_shell.h"
#include "platform/os_trace.h"

namespace key_watcher {

bool AdminForeground::Update() {
  const platform::WindowHandle front = os::ForegroundWindow();
  if (front == judged_) return false;
  judged_ = front;
  if (!ownKnown_) {
    own_ = os::OwnElevation();
    ownKnown_ = true;
  }
  const bool blocked = front != 0 && Judge(front);
  if (blocked == blocked_) return false;
  blocked_ = blocked;
  return true;
}

bool AdminForeground::Judge(platform::WindowHandle front) {
  std::uint32_t integrity = 0;
  std::uint32_t error = 0;
  const os::Elevated elevated = os::WindowElevated(front, integrity, error);
  if (elevated != os::Elevated::Unknown) {
    // Wine reads every level as high: there elevation is the only sign.
    return (own_.integrity != 0 && integrity > own_.integrity) ||
           (elevated == os::Elevated::Yes && !own_.elevated);
  }
  // Another account's program, or a protected one. Only Windows can tell
  // which: a protected game at our own level takes our clicks.
  const bool filtered = os::MessagesFiltered(front);
  if (!traced_) {
    traced_ = true;
    os::Trace("cannot read the token of the window in front, error ",
              platform::Decimal(error) +
                  (filtered ? L"; it filters our messages" : L"; it takes our messages"));
  }
  return filtered;
}

}  // namespace key_watcher
