#include <functional>

#include "fixture.h"
#include "tray/mdlSubClass.h"

namespace {

constexpr WindowHandle kWindow = 0x4440;
constexpr WindowHandle kOther = 0x5550;

// A client whose answers and side effects each test scripts.
class Client final : public SubClassClient {
 public:
  explicit Client(WindowHandle window, LResult answer = -1) : window_(window), answer_(answer) {}
  WindowHandle hWnd() const override { return window_; }
  LResult WindowProc(WindowHandle&, std::uint32_t& iMsg, WParam& wParam, LParam& lParam) override {
    seen.push_back(iMsg);
    if (onMessage) onMessage(iMsg, wParam, lParam);
    return answer_;
  }
  std::vector<std::uint32_t> seen;
  std::function<void(std::uint32_t&, WParam&, LParam&)> onMessage;

 private:
  WindowHandle window_;
  LResult answer_;
};

class SubClassTest : public FakeTest {
 protected:
  LResult Send(WindowHandle window, std::uint32_t message, WParam w = 0, LParam l = 0) {
    return fake::Dispatch(window, message, w, l);
  }
  // Every hooked window has an object, and one of them holds its procedure.
  void ExpectInvariant() {
    for (WindowHandle window : mdlSubClass::HookedWindows) {
      bool hasObject = false, holdsProc = false;
      for (const auto& o : mdlSubClass::RegisteredObjects) {
        if (!o || o->hWnd() != window) continue;
        hasObject = true;
        holdsProc = holdsProc || o->PreWndProcAddress == fake::OriginalProc(window);
      }
      EXPECT_TRUE(hasObject && holdsProc) << "window " << window;
    }
  }
};

TEST_F(SubClassTest, OneObjectHooksAndUnhooksTheWindow) {
  auto a = std::make_shared<Client>(kWindow);
  mdlSubClass::SubClass(a);
  EXPECT_EQ(a->PreWndProcAddress, fake::OriginalProc(kWindow));
  EXPECT_EQ(os().windowProcs[kWindow], fake::kSubClassProc);
  EXPECT_EQ(mdlSubClass::HookedWindows, std::vector<WindowHandle>{kWindow});

  EXPECT_EQ(Send(kWindow, 0x10), 7) << "unanswered: the previous procedure answers";
  EXPECT_EQ(a->seen, std::vector<std::uint32_t>{0x10});
  ASSERT_EQ(os().procCalls.size(), 1u);
  EXPECT_EQ(os().procCalls[0].procedure, fake::OriginalProc(kWindow));

  mdlSubClass::UnSubClass(*a);
  EXPECT_EQ(os().windowProcs[kWindow], fake::OriginalProc(kWindow));
  EXPECT_TRUE(mdlSubClass::HookedWindows.empty());
  EXPECT_EQ(a.use_count(), 1) << "the registry let go";
}

TEST_F(SubClassTest, SecondObjectJoinsAndTheFirstLeavingHandsItsProcedureOver) {
  auto a = std::make_shared<Client>(kWindow);
  auto b = std::make_shared<Client>(kWindow);
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(b);
  EXPECT_EQ(b->PreWndProcAddress, 0);
  Send(kWindow, 0x10);
  EXPECT_EQ(a->seen.size(), 1u);
  EXPECT_EQ(b->seen.size(), 1u);

  mdlSubClass::UnSubClass(*a);
  EXPECT_EQ(b->PreWndProcAddress, fake::OriginalProc(kWindow));
  EXPECT_EQ(os().windowProcs[kWindow], fake::kSubClassProc) << "still hooked";
  ExpectInvariant();
  mdlSubClass::UnSubClass(*b);
  EXPECT_EQ(os().windowProcs[kWindow], fake::OriginalProc(kWindow));
  EXPECT_TRUE(mdlSubClass::HookedWindows.empty());
}

TEST_F(SubClassTest, LaterObjectLeavingFirstHandsNothingOver) {
  auto a = std::make_shared<Client>(kWindow);
  auto b = std::make_shared<Client>(kWindow);
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(b);
  mdlSubClass::UnSubClass(*b);
  EXPECT_EQ(a->PreWndProcAddress, fake::OriginalProc(kWindow));
  EXPECT_EQ(os().windowProcs[kWindow], fake::kSubClassProc);
  mdlSubClass::UnSubClass(*a);
  EXPECT_EQ(os().windowProcs[kWindow], fake::OriginalProc(kWindow));
}

TEST_F(SubClassTest, RegisteringOrUnregisteringTwiceIsHarmless) {
  auto a = std::make_shared<Client>(kWindow);
  mdlSubClass::UnSubClass(*a);  // never registered
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(a);
  EXPECT_EQ(mdlSubClass::RegisteredCount(), 1u);
  EXPECT_EQ(a->PreWndProcAddress, fake::OriginalProc(kWindow)) << "not overwritten by the repeat";
  mdlSubClass::UnSubClass(*a);
  EXPECT_FALSE(mdlSubClass::IsRegistered(*a));
  mdlSubClass::UnSubClass(*a);
  EXPECT_EQ(os().windowProcs[kWindow], fake::OriginalProc(kWindow));
}

TEST_F(SubClassTest, PassedOnMessagesCarryTheHandlersChangedArguments) {
  auto a = std::make_shared<Client>(kWindow);
  a->onMessage = [](std::uint32_t& message, WParam& w, LParam& l) {
    message = 0x99;
    w = 5;
    l = -6;
  };
  auto b = std::make_shared<Client>(kWindow);
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(b);
  os().procAnswer = [](const fake::ProcCall&) { return 1234; };
  EXPECT_EQ(Send(kWindow, 0x10, 1, 2), 1234);
  EXPECT_EQ(b->seen, std::vector<std::uint32_t>{0x99});
  ASSERT_EQ(os().procCalls.size(), 1u);
  EXPECT_EQ(os().procCalls[0].message, 0x99u);
  EXPECT_EQ(os().procCalls[0].wParam, 5u);
  EXPECT_EQ(os().procCalls[0].lParam, -6);
}

TEST_F(SubClassTest, ZeroAnswerStopsTheWalkAndOtherAnswersSkipThePreviousProcedure) {
  auto a = std::make_shared<Client>(kWindow, 0);
  auto b = std::make_shared<Client>(kWindow);
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(b);
  EXPECT_EQ(Send(kWindow, 0x10), 0);
  EXPECT_TRUE(b->seen.empty());
  EXPECT_TRUE(os().procCalls.empty());

  auto c = std::make_shared<Client>(kOther, 42);
  mdlSubClass::SubClass(c);
  EXPECT_EQ(Send(kOther, 0x10), 42);
  EXPECT_TRUE(os().procCalls.empty());
  EXPECT_EQ(a->seen.size(), 1u) << "objects of other windows are skipped";
}

TEST_F(SubClassTest, UnregisteringDuringAWalkSkipsNobodyAndRepeatsNobody) {
  auto a = std::make_shared<Client>(kWindow);
  auto b = std::make_shared<Client>(kWindow);
  auto c = std::make_shared<Client>(kWindow);
  std::weak_ptr<Client> weakA = a;
  a->onMessage = [&](std::uint32_t&, WParam&, LParam&) {
    mdlSubClass::UnSubClass(*weakA.lock());  // itself
    mdlSubClass::UnSubClass(*b);             // one not yet visited
  };
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(b);
  mdlSubClass::SubClass(c);
  SubClassClient* rawA = a.get();
  a.reset();  // only the registry holds it
  Send(kWindow, 0x10);
  EXPECT_TRUE(weakA.expired()) << "ended once the walk let go";
  EXPECT_TRUE(b->seen.empty());
  EXPECT_EQ(c->seen, std::vector<std::uint32_t>{0x10});
  EXPECT_EQ(os().procCalls.size(), 1u) << "c inherited the procedure and passed on once";
  EXPECT_EQ(mdlSubClass::RegisteredCount(), 1u);
  EXPECT_EQ(mdlSubClass::RegisteredObjects.size(), 1u) << "compacted after the walk";
  (void)rawA;
  ExpectInvariant();
}

TEST_F(SubClassTest, ReentrantDispatchKeepsEachWalkToItself) {
  auto a = std::make_shared<Client>(kWindow);
  auto b = std::make_shared<Client>(kWindow);
  int depth = 0;
  a->onMessage = [&](std::uint32_t& message, WParam&, LParam&) {
    if (message == 0x10 && depth++ == 0) {
      // A modal loop inside a handler: more messages for the same window.
      EXPECT_EQ(Send(kWindow, 0x11), 7);
      mdlSubClass::UnSubClass(*b);
      Send(kWindow, 0x12);
    }
  };
  mdlSubClass::SubClass(a);
  mdlSubClass::SubClass(b);
  EXPECT_EQ(Send(kWindow, 0x10), 7);
  EXPECT_EQ(a->seen, (std::vector<std::uint32_t>{0x10, 0x11, 0x12}));
  EXPECT_EQ(b->seen, (std::vector<std::uint32_t>{0x11}));
  EXPECT_EQ(os().procCalls.size(), 3u);
}

TEST_F(SubClassTest, FailedHookRestoresNoNullProcedure) {
  os().setWindowProcFails = true;
  auto a = std::make_shared<Client>(kWindow);
  mdlSubClass::SubClass(a);
  EXPECT_EQ(a->PreWndProcAddress, 0);
  EXPECT_EQ(mdlSubClass::HookedWindows, std::vector<WindowHandle>{kWindow});
  os().setWindowProcFails = false;
  mdlSubClass::UnSubClass(*a);
  EXPECT_EQ(os().windowProcs.count(kWindow), 0u) << "nothing was written back";
  EXPECT_TRUE(mdlSubClass::HookedWindows.empty());
}

TEST_F(SubClassTest, DiscardEndsObjectsOnlyTheRegistryHeldAndUnhooks) {
  auto a = std::make_shared<Client>(kWindow);
  std::weak_ptr<Client> weakA = a;
  mdlSubClass::SubClass(a);
  a.reset();
  auto b = std::make_shared<Client>(kOther);
  mdlSubClass::SubClass(b);
  mdlSubClass::Discard();
  EXPECT_TRUE(weakA.expired());
  EXPECT_EQ(b.use_count(), 1);
  EXPECT_EQ(os().windowProcs[kWindow], fake::OriginalProc(kWindow));
  EXPECT_EQ(os().windowProcs[kOther], fake::OriginalProc(kOther));
  EXPECT_TRUE(mdlSubClass::HookedWindows.empty());
}

}  // namespace
