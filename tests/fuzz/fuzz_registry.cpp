// Random registration sequences and messages, tray objects included: after
// every step each hooked window has a registered object, one of them holds
// the window's previous procedure, and unhooked windows have theirs back.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "tray/CTray.h"
#include "tray/mdlSubClass.h"

namespace {

constexpr std::array<WindowHandle, 3> kWindows{0x100, 0x200, 0x300};

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::uint8_t Next() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
};

class Client final : public SubClassClient {
 public:
  Client(WindowHandle window, LResult answer) : window_(window), answer_(answer) {}
  WindowHandle hWnd() const override { return window_; }
  LResult WindowProc(WindowHandle&, std::uint32_t& iMsg, WParam&, LParam&) override {
    if (onMessage) onMessage(iMsg);
    return answer_;
  }
  std::function<void(std::uint32_t)> onMessage;

 private:
  WindowHandle window_;
  LResult answer_;
};

void CheckInvariant() {
  for (WindowHandle window : kWindows) {
    const auto& hookedWindows = mdlSubClass::HookedWindows;
    const auto times = std::count(hookedWindows.begin(), hookedWindows.end(), window);
    Check(times <= 1);  // hooked once at most
    const bool hooked = times != 0;
    bool hasObject = false;
    bool holdsProc = false;
    for (const auto& o : mdlSubClass::RegisteredObjects) {
      if (!o || o->hWnd() != window) continue;
      hasObject = true;
      holdsProc = holdsProc || o->PreWndProcAddress == fake::OriginalProc(window);
    }
    Check(hooked == hasObject);
    if (hooked) {
      Check(holdsProc);
      Check(fake::Get().windowProcs[window] == fake::kSubClassProc);
    } else if (fake::Get().windowProcs.count(window) != 0) {
      Check(fake::Get().windowProcs[window] == fake::OriginalProc(window));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fake::Reset();
  mdlSubClass::Discard();
  Input in{data, size};
  std::vector<std::shared_ptr<SubClassClient>> held;
  std::vector<std::shared_ptr<CTray>> trays;
  const auto pick = [&](auto& list) -> decltype(list.front().get()) {
    return list.empty() ? nullptr : list[in.Next() % list.size()].get();
  };
  int depth = 0;

  while (in.size > 0) {
    const std::uint8_t op = in.Next() % 9;
    const WindowHandle window = kWindows[in.Next() % kWindows.size()];
    switch (op) {
      case 0: {
        const LResult answers[] = {0, -1, 5};
        auto c = std::make_shared<Client>(window, answers[in.Next() % 3]);
        // Some clients unregister a random object while handling a message.
        if (in.Next() % 4 == 0) {
          const std::uint8_t victim = in.Next();
          c->onMessage = [&, victim](std::uint32_t) {
            if (depth > 3 || held.empty()) return;
            mdlSubClass::UnSubClass(*held[victim % held.size()]);
          };
        }
        held.push_back(c);
        break;
      }
      case 1:
        if (auto* c = pick(held)) {
          for (auto& h : held) {
            if (h.get() == c) mdlSubClass::SubClass(h);
          }
        }
        break;
      case 2:
        if (auto* c = pick(held)) mdlSubClass::UnSubClass(*c);
        break;
      case 3:
        if (!held.empty()) held.erase(held.begin() + in.Next() % held.size());
        break;
      case 4: {
        ++depth;
        const LParam mouse = 505 + in.Next() % 20;
        const std::uint32_t message = in.Next() % 2 == 0 ? CTray::kCallbackMessage : in.Next();
        fake::Dispatch(window, message, 0, mouse);
        --depth;
        break;
      }
      case 5: {
        auto t = CTray::Create();
        t->SetIcon(std::make_shared<ui::Picture>(ui::Picture{0x77}));
        // A tray whose owner deletes the icon from within a click.
        if (in.Next() % 3 == 0) {
          std::weak_ptr<CTray> weak = t;
          t->MouseDown = [weak](std::int16_t) {
            if (auto self = weak.lock()) self->DeleteIcon();
          };
        }
        trays.push_back(t);
        break;
      }
      case 6:
        if (auto* t = pick(trays)) t->AddIcon(window);
        break;
      case 7:
        if (auto* t = pick(trays)) t->DeleteIcon();
        break;
      case 8:
        if (!trays.empty()) trays.erase(trays.begin() + in.Next() % trays.size());
        break;
    }
    CheckInvariant();
  }
  mdlSubClass::Discard();
  Check(mdlSubClass::HookedWindows.empty() && mdlSubClass::RegisteredObjects.empty());
  for (WindowHandle window : kWindows) {
    if (fake::Get().windowProcs.count(window) != 0) {
      Check(fake::Get().windowProcs[window] == fake::OriginalProc(window));
    }
  }
  return 0;
}
