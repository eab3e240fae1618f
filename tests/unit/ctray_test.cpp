#include "tray/CTray.h"

#include <string>

#include "fixture.h"

namespace {

constexpr WindowHandle kOwner = 0x7770;
constexpr LParam kMove = 512, kLDown = 513, kLUp = 514, kLDbl = 515, kRDown = 516, kRUp = 517,
                 kRDbl = 518, kMDown = 519, kMUp = 520, kMDbl = 521;

class CTrayTest : public FakeTest {
 protected:
  void SetUp() override {
    FakeTest::SetUp();
    tray = CTray::Create();
    tray->Click = [this] { events += "Click "; };
    tray->DblClick = [this] { events += "DblClick "; };
    tray->MouseDown = [this](std::int16_t b) { events += "Down" + std::to_string(b) + " "; };
    tray->MouseUp = [this](std::int16_t b) { events += "Up" + std::to_string(b) + " "; };
    tray->MouseMove = [this] { events += "Move "; };
    icon = std::make_shared<ui::Picture>(ui::Picture{0xABC});
  }
  LResult Callback(LParam mouse) {
    return fake::Dispatch(kOwner, CTray::kCallbackMessage, 0, mouse);
  }
  void Show() {
    tray->SetIcon(icon);
    ASSERT_TRUE(tray->AddIcon(kOwner));
    os().trayCalls.clear();
  }
  static std::wstring Tip(const os::TrayIconData& d) {
    return std::wstring(d.szTip.begin(), d.szTip.end());
  }

  std::shared_ptr<CTray> tray;
  std::shared_ptr<ui::Picture> icon;
  std::string events;
};

TEST_F(CTrayTest, NewRecordHasTheFixedFieldsAndAnEmptyTip) {
  const os::TrayIconData& r = tray->Record();
  EXPECT_EQ(r.cbSize, sizeof(void*) == 8 ? 168u : 152u);
  EXPECT_EQ(r.uFlags, 7u);
  EXPECT_EQ(r.uCallbackMessage, 1025u);
  EXPECT_EQ(r.uID, 1u) << "the first object, at every start";
  EXPECT_EQ(r.hWnd, 0u);
  EXPECT_EQ(r.hIcon, 0u);
  EXPECT_EQ(Tip(r), std::wstring(1, L'\0') + std::wstring(63, L' '));
  EXPECT_EQ(tray->ToolTipText(), L"");
  EXPECT_EQ(tray->TaskbarCreatedMsg(), os().registeredMessages.at(L"TaskbarCreated"));
  EXPECT_EQ(tray->hWnd(), 0u);
}

TEST_F(CTrayTest, TipFieldIsNulTerminatedPaddedOrCutAt64) {
  const std::wstring t63(63, L'x');
  tray->SetToolTipText(t63);
  EXPECT_EQ(Tip(tray->Record()), t63 + L'\0');
  EXPECT_EQ(tray->ToolTipText(), t63);

  tray->SetToolTipText(std::wstring(70, L'y'));
  EXPECT_EQ(Tip(tray->Record()), std::wstring(64, L'y')) << "no NUL left";

  tray->SetToolTipText(L"Yorisen（仮名）");
  EXPECT_EQ(tray->ToolTipText(), L"Yorisen（仮名）");
  EXPECT_EQ(Tip(tray->Record()).substr(11), std::wstring(1, L'\0') + std::wstring(52, L' '));
}

TEST_F(CTrayTest, AddIconWithoutAnIconChangesNothing) {
  EXPECT_FALSE(tray->AddIcon(kOwner));
  tray->SetVisible(true);
  EXPECT_FALSE(tray->Visible());
  EXPECT_EQ(tray->hWnd(), 0u);
  EXPECT_TRUE(os().trayCalls.empty());
  EXPECT_FALSE(mdlSubClass::IsRegistered(*tray));
}

TEST_F(CTrayTest, AddLetsTheTaskbarBroadcastInFirstAndShowsWhatWasWrittenWhileHidden) {
  tray->SetIcon(icon);
  tray->SetToolTipText(L"tip");
  EXPECT_TRUE(os().trayCalls.empty());
  ASSERT_TRUE(tray->AddIcon(kOwner));
  ASSERT_EQ(os().trayCalls.size(), 1u);
  EXPECT_EQ(os().trayCalls[0].message, platform::kNimAdd);
  EXPECT_EQ(os().trayCalls[0].data.hIcon, 0xABCu);
  EXPECT_EQ(os().trayCalls[0].data.hWnd, kOwner);
  EXPECT_EQ(Tip(os().trayCalls[0].data).substr(0, 4), std::wstring(L"tip") + L'\0');
  EXPECT_TRUE(mdlSubClass::IsRegistered(*tray));
  EXPECT_TRUE(tray->Visible());
  EXPECT_EQ(tray->hWnd(), kOwner);
  // An elevated copy must hear of a new taskbar: the broadcast was let in first.
  ASSERT_EQ(os().allowedMessages.size(), 1u);
  EXPECT_EQ(os().allowedMessages[0].window, kOwner);
  EXPECT_EQ(os().allowedMessages[0].message, tray->TaskbarCreatedMsg());
  EXPECT_EQ(os().allowedMessages[0].trayCallsBefore, 0u);
}

TEST_F(CTrayTest, WritesWhileShownModifyAtOnce) {
  Show();
  tray->SetToolTipText(L"new");
  tray->SetIcon(std::make_shared<ui::Picture>(ui::Picture{0xDEF}));
  ASSERT_EQ(os().trayCalls.size(), 2u);
  EXPECT_EQ(os().trayCalls[0].message, platform::kNimModify);
  EXPECT_EQ(os().trayCalls[1].message, platform::kNimModify);
  EXPECT_EQ(os().trayCalls[1].data.hIcon, 0xDEFu);
  EXPECT_EQ(os().trayCalls[1].data.uFlags, 7u);
}

TEST_F(CTrayTest, SingleDoubleAndRightClicksRaiseTheirEventSequences) {
  Show();
  Callback(kLDown);
  Callback(kLUp);
  EXPECT_EQ(events, "Down1 Up1 Click ");
  events.clear();
  for (LParam m : {kLDown, kLUp, kLDbl, kLUp}) EXPECT_EQ(Callback(m), 0);
  EXPECT_EQ(events, "Down1 Up1 Click DblClick Up1 ") << "exactly one Click";
  events.clear();
  Callback(kLDown);
  Callback(kLUp);
  EXPECT_EQ(events, "Down1 Up1 Click ") << "the suppression does not linger";
  events.clear();
  for (LParam m : {kRDown, kRUp, kRDbl, kMDown, kMUp, kMDbl, kMove}) EXPECT_EQ(Callback(m), 0);
  EXPECT_EQ(events, "Down2 Up2 Down4 Up4 Move ");
  EXPECT_TRUE(os().procCalls.empty()) << "callbacks are not passed on";
}

TEST_F(CTrayTest, CallbacksOutsideTheMouseRangeAndOtherMessagesArePassedOn) {
  Show();
  EXPECT_EQ(Callback(511), 7);
  EXPECT_EQ(Callback(522), 7);
  EXPECT_EQ(fake::Dispatch(kOwner, 0x0010, 0, 0), 7);
  EXPECT_EQ(events, "");
  EXPECT_EQ(os().procCalls.size(), 3u);
}

TEST_F(CTrayTest, TaskbarCreatedAddsTheIconAgainOnlyWhileShown) {
  tray->SetIcon(icon);
  // Hidden: not registered, so the message goes straight to the window; the
  // object itself answers 0 and adds nothing.
  WindowHandle h = kOwner;
  std::uint32_t m = tray->TaskbarCreatedMsg();
  WParam w = 0;
  LParam l = 0;
  EXPECT_EQ(tray->WindowProc(h, m, w, l), 0);
  EXPECT_TRUE(os().trayCalls.empty());

  Show();
  tray->SetToolTipText(L"now");
  os().trayCalls.clear();
  os().trayIcons.clear();  // the new taskbar has no icons
  EXPECT_EQ(fake::Dispatch(kOwner, tray->TaskbarCreatedMsg(), 0, 0), 0);
  ASSERT_EQ(os().trayCalls.size(), 1u);
  EXPECT_EQ(os().trayCalls[0].message, platform::kNimAdd);
  EXPECT_EQ(Tip(os().trayCalls[0].data).substr(0, 3), L"now");
  EXPECT_EQ(mdlSubClass::RegisteredCount(), 1u);
}

TEST_F(CTrayTest, IdentityIsTheIconIdAndTheRegistryKeyAndHoldsAcrossATaskbarRestart) {
  Show();
  auto second = CTray::Create();
  second->SetIcon(icon);
  ASSERT_TRUE(second->AddIcon(0x8880));
  os().trayCalls.clear();
  os().trayIcons.clear();
  // The broadcast reaches every top-level window.
  fake::Dispatch(kOwner, tray->TaskbarCreatedMsg(), 0, 0);
  fake::Dispatch(0x8880, tray->TaskbarCreatedMsg(), 0, 0);
  ASSERT_EQ(os().trayCalls.size(), 2u);
  EXPECT_EQ(os().trayCalls[0].data.uID, 1u);
  EXPECT_EQ(os().trayCalls[1].data.uID, 2u);
  EXPECT_EQ(mdlSubClass::Lookup(1), tray.get());
  EXPECT_EQ(mdlSubClass::Lookup(2), second.get());
  // Values stay taken while their objects live; with none left, counting starts over.
  EXPECT_EQ(CTray::Create()->Record().uID, 3u);
  mdlSubClass::Discard();
  tray.reset();
  second.reset();
  EXPECT_EQ(CTray::Create()->Record().uID, 1u);
}

TEST_F(CTrayTest, FailedAddIsTriedAgainModifyFirstUntilTheIconIsThere) {
  os().failingAdds = 2;
  Show();
  EXPECT_TRUE(tray->Visible() && mdlSubClass::IsRegistered(*tray)) << "still wanted";
  EXPECT_EQ(os().windowTimers.at({kOwner, 1}), CTray::kRetryMs);
  tray->SetToolTipText(L"tip");  // no call: the next try takes it
  fake::FireWindowTimers();
  fake::FireWindowTimers();
  ASSERT_EQ(os().trayCalls.size(), 4u);
  EXPECT_EQ(os().trayCalls[2].message, platform::kNimModify);
  EXPECT_EQ(os().trayCalls[3].message, platform::kNimAdd);
  EXPECT_EQ(Tip(os().trayCalls[3].data).substr(0, 3), L"tip");
  EXPECT_EQ(os().trayIcons.size(), 1u);
  EXPECT_TRUE(os().windowTimers.empty());
  EXPECT_EQ(os().traces, (std::vector<std::wstring>{L"Shell_NotifyIcon add failed, trying again",
                                                    L"tray icon added after 3 tries"}));
  // An add that timed out but took effect: the modify after it finds the icon.
  tray->DeleteIcon();
  os().failingAdds = 1;
  os().failedAddsTakeEffect = true;
  tray->AddIcon(kOwner);
  EXPECT_TRUE(os().windowTimers.empty());
  EXPECT_EQ(os().trayCalls.back().message, platform::kNimModify);
}

TEST_F(CTrayTest, RetriesEndWithANewTaskbarADeleteOrGivingUp) {
  os().failingAdds = 1;
  Show();
  fake::Dispatch(kOwner, tray->TaskbarCreatedMsg(), 0, 0);
  EXPECT_EQ(os().trayIcons.size(), 1u);
  EXPECT_TRUE(os().windowTimers.empty());
  EXPECT_EQ(os().traces.back(), L"tray icon added after 2 tries");

  tray->DeleteIcon();
  os().failingAdds = 1000;
  tray->AddIcon(kOwner);
  tray->DeleteIcon();
  EXPECT_TRUE(os().windowTimers.empty());
  os().traces.clear();
  tray->AddIcon(kOwner);
  for (int i = 0; i < 40; ++i) fake::FireWindowTimers();
  EXPECT_EQ(os().traces.size(), 2u);
  EXPECT_EQ(os().traces.back(), L"tray icon not added after 30 tries");
  EXPECT_TRUE(tray->Visible()) << "a new taskbar still brings it";
}

TEST_F(CTrayTest, DeleteIconRemovesAndUnregisters) {
  Show();
  tray->SetVisible(false);
  ASSERT_EQ(os().trayCalls.size(), 1u);
  EXPECT_EQ(os().trayCalls[0].message, platform::kNimDelete);
  EXPECT_FALSE(tray->Visible());
  EXPECT_FALSE(mdlSubClass::IsRegistered(*tray));
  EXPECT_EQ(os().windowProcs[kOwner], fake::OriginalProc(kOwner));
}

TEST_F(CTrayTest, ShownObjectOutlivesItsOwnerUntilTheRegistryIsDiscarded) {
  Show();
  std::weak_ptr<CTray> weak = tray;
  tray.reset();  // the owner lets go
  ASSERT_FALSE(weak.expired());
  EXPECT_TRUE(os().trayCalls.empty()) << "the icon stays";
  mdlSubClass::Discard();
  EXPECT_TRUE(weak.expired());
  ASSERT_EQ(os().trayCalls.size(), 1u);
  EXPECT_EQ(os().trayCalls[0].message, platform::kNimDelete);
  EXPECT_EQ(os().windowProcs[kOwner], fake::OriginalProc(kOwner));
}

TEST_F(CTrayTest, HiddenObjectEndsWithItsLastReference) {
  Show();
  tray->DeleteIcon();
  os().trayCalls.clear();
  std::weak_ptr<CTray> weak = tray;
  tray.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(os().trayCalls.empty()) << "nothing left to delete";
}

TEST_F(CTrayTest, MovingToAnotherWindowLeavesNoWindowHookedForNobody) {
  Show();
  const WindowHandle second = 0x8880;
  ASSERT_TRUE(tray->AddIcon(second));
  EXPECT_EQ(os().windowProcs[kOwner], fake::OriginalProc(kOwner));
  EXPECT_EQ(mdlSubClass::HookedWindows, std::vector<WindowHandle>{second});
  EXPECT_EQ(tray->hWnd(), second);
}

TEST_F(CTrayTest, PopUpMenuBringsTheOwnerForwardAndPostsANullMessage) {
  PlainForm owner;
  ui::Menu top(owner, nullptr, L"top");
  ui::Menu item(owner, &top, L"item");
  owner.Load();
  Show();
  tray->PopUpMenu(owner, top, &item);
  EXPECT_EQ(os().foregrounds, std::vector<WindowHandle>{owner.hWnd()});
  ASSERT_EQ(os().popupMenus.size(), 1u);
  EXPECT_EQ(os().popupMenus[0].first, &top);
  EXPECT_EQ(os().popupMenus[0].second, &item);
  ASSERT_EQ(os().posted.size(), 1u);
  EXPECT_EQ(os().posted[0].window, kOwner) << "posted to the icon's window";
  EXPECT_EQ(os().posted[0].message, platform::kWmNull);
  owner.Unload();
}

}  // namespace
