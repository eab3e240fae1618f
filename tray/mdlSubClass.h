#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"

using platform::LParam;
using platform::LResult;
using platform::WindowHandle;
using platform::WndProcAddress;
using platform::WParam;

// An object that wants to see the messages of a window it does not own.
class SubClassClient {
 public:
  SubClassClient();
  virtual ~SubClassClient();
  SubClassClient(const SubClassClient&) = delete;
  SubClassClient& operator=(const SubClassClient&) = delete;

  // Unique among live clients, and the registry's key. Counted from 1 in
  // order of creation, starting over once no client is left, so a program
  // that makes the same objects gets the same values at every start (a tray
  // icon's id, by which the shell remembers the user's choices for it).
  std::uint32_t Identity() const { return identity_; }

  // The window procedure that was in place before the registry hooked the
  // window; written and read by the registry only.
  WndProcAddress PreWndProcAddress = 0;

  // The window whose messages the object wants; fixed while registered.
  virtual WindowHandle hWnd() const = 0;

  // 0: handled, answered with 0 and offered to nobody else. -1: not handled,
  // offered on and finally passed to the previous procedure. Anything else:
  // offered on; the answer unless a later object answers otherwise. The
  // arguments may be changed for those that see the message later.
  virtual LResult WindowProc(WindowHandle& hWnd, std::uint32_t& iMsg, WParam& wParam,
                             LParam& lParam) = 0;

 private:
  std::uint32_t identity_;
};

// Routes the messages of hooked windows to the objects registered for them.
namespace mdlSubClass {

// Registered objects in registration order, keyed by identity, each kept
// alive while registered. An empty slot is an object that left during a dispatch; slots
// are compacted once no dispatch is running.
extern std::vector<std::shared_ptr<SubClassClient>> RegisteredObjects;
// Windows whose procedure is replaced, each once.
extern std::vector<WindowHandle> HookedWindows;

// Registers object; the first object for a window hooks it. Harmless when
// repeated.
void SubClass(const std::shared_ptr<SubClassClient>& object);
// Unregisters object; the last object for a window puts the window's
// procedure back. Harmless when the object is not registered.
void UnSubClass(const SubClassClient& object);
// Offers a message of a hooked window to its objects in registration order.
LResult SubClassProc(WindowHandle hWnd, std::uint32_t iMsg, WParam& wParam, LParam& lParam);

bool IsRegistered(const SubClassClient& object);
// The object registered under key (its identity); null when there is none.
SubClassClient* Lookup(std::uint32_t key);
std::size_t RegisteredCount();
// Program end: unregisters every object, which ends those nobody else holds.
void Discard();

}  // namespace mdlSubClass
