#include "engine/admin_foreground.h"

#include "platform/decimal.h"
#include "platform/os.h"

namespace key_watcher {

bool AdminForeground::Update() {
  const platform::WindowHandle front = os::ForegroundWindow();
  if (front == judged_) return false;
  judged_ = front;
  if (!ownKnown_) {
    ownElevated_ = os::OwnElevation().elevated;
    ownKnown_ = true;
  }
  bool blocked = false;
  // An elevated copy reaches every window.
  if (front != 0 && !ownElevated_) {
    std::uint32_t error = 0;
    const os::Elevated elevated = os::WindowElevated(front, error);
    // Unreadable (another account's program, a protected one): no false
    // alarm, and one line for the first such window only.
    if (elevated == os::Elevated::Unknown && !traced_) {
      traced_ = true;
      os::Trace(L"cannot read the token of the window in front, error " + platform::Decimal(error) +
                L"; taken as not elevated");
    }
    blocked = elevated == os::Elevated::Yes;
  }
  if (blocked == blocked_) return false;
  blocked_ = blocked;
  return true;
}

}  // namespace key_watcher
