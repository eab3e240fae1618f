#include "tray/mdlSubClass.h"

#include <algorithm>

#include "platform/os_shell.h"

namespace {

std::uint32_t lastIdentity = 0;
std::uint32_t liveClients = 0;

}  // namespace

SubClassClient::SubClassClient() : identity_(++lastIdentity) { ++liveClients; }

SubClassClient::~SubClassClient() {
  // No live client holds a value any more: numbering may start over.
  if (--liveClients == 0) lastIdentity = 0;
}

namespace mdlSubClass {

std::vector<std::shared_ptr<SubClassClient>> RegisteredObjects;
std::vector<WindowHandle> HookedWindows;

namespace {

int dispatchDepth = 0;

std::vector<std::shared_ptr<SubClassClient>>::iterator Find(std::uint32_t key) {
  return std::find_if(RegisteredObjects.begin(), RegisteredObjects.end(),
                      [key](const auto& slot) { return slot && slot->Identity() == key; });
}

std::vector<std::shared_ptr<SubClassClient>>::iterator Find(const SubClassClient& object) {
  return Find(object.Identity());
}

// By value: a handler may register or remove objects while it runs, which
// moves or empties its slot; the copy keeps it alive until it returns.
std::shared_ptr<SubClassClient> Slot(std::size_t i) { return RegisteredObjects[i]; }

void CompactIfIdle() {
  if (dispatchDepth != 0) return;
  RegisteredObjects.erase(std::remove(RegisteredObjects.begin(), RegisteredObjects.end(), nullptr),
                          RegisteredObjects.end());
}

}  // namespace

void SubClass(const std::shared_ptr<SubClassClient>& object) {
  if (!object || Find(*object) != RegisteredObjects.end()) return;
  RegisteredObjects.push_back(object);
  const WindowHandle window = object->hWnd();
  if (std::find(HookedWindows.begin(), HookedWindows.end(), window) != HookedWindows.end()) {
    // Joining: a value left from an earlier hook must not pose as this
    // window's previous procedure.
    object->PreWndProcAddress = 0;
    return;
  }
  HookedWindows.push_back(window);
  object->PreWndProcAddress =
      os::SetWindowProc(window, os::SubClassProcAddress(&mdlSubClass::SubClassProc));
}

void UnSubClass(const SubClassClient& object) {
  const auto it = Find(object);
  if (it == RegisteredObjects.end()) return;
  // Keeps the object alive to the end of this call, even if the registry
  // held its last reference.
  const std::shared_ptr<SubClassClient> leaving = std::move(*it);
  if (dispatchDepth == 0) {
    RegisteredObjects.erase(it);
  }

  const WindowHandle window = leaving->hWnd();
  bool found = false;
  for (const auto& other : RegisteredObjects) {
    if (other && other->hWnd() == window) {
      if (leaving->PreWndProcAddress != 0) other->PreWndProcAddress = leaving->PreWndProcAddress;
      found = true;
      break;
    }
  }
  if (!found) {
    // A failed hook saved nothing; a null procedure would break the window.
    if (leaving->PreWndProcAddress != 0) os::SetWindowProc(window, leaving->PreWndProcAddress);
    HookedWindows.erase(std::remove(HookedWindows.begin(), HookedWindows.end(), window),
                        HookedWindows.end());
  }
}

LResult SubClassProc(WindowHandle hWnd, std::uint32_t iMsg, WParam& wParam, LParam& lParam) {
  LResult result = 0;
  WndProcAddress previous = 0;
  ++dispatchDepth;
  // Index walk: objects that join are appended and objects that leave empty
  // their slot, so a handler may do either without upsetting this walk.
  for (std::size_t i = 0; i < RegisteredObjects.size(); ++i) {
    const std::shared_ptr<SubClassClient> object = Slot(i);
    if (!object || object->hWnd() != hWnd) continue;
    result = object->WindowProc(hWnd, iMsg, wParam, lParam);
    if (object->PreWndProcAddress != 0) previous = object->PreWndProcAddress;
    if (result == 0) break;
  }
  --dispatchDepth;
  CompactIfIdle();
  if (result == -1) {
    result = previous != 0 ? os::CallWindowProcAt(previous, hWnd, iMsg, wParam, lParam) : 0;
  }
  return result;
}

bool IsRegistered(const SubClassClient& object) { return Find(object) != RegisteredObjects.end(); }

SubClassClient* Lookup(std::uint32_t key) {
  const auto it = Find(key);
  return it == RegisteredObjects.end() ? nullptr : it->get();
}

std::size_t RegisteredCount() {
  return static_cast<std::size_t>(std::count_if(RegisteredObjects.begin(), RegisteredObjects.end(),
                                                [](const auto& slot) { return slot != nullptr; }));
}

void Discard() {
  for (;;) {
    const auto it = std::find_if(RegisteredObjects.begin(), RegisteredObjects.end(),
                                 [](const auto& slot) { return slot != nullptr; });
    if (it == RegisteredObjects.end()) break;
    UnSubClass(**it);
  }
  RegisteredObjects.clear();
  HookedWindows.clear();
}

}  // namespace mdlSubClass
