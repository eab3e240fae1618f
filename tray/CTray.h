#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/forms.h"
#include "platform/os_shell.h"
#include "tray/mdlSubClass.h"

// One icon in the notification area on behalf of an owner window. While the
// icon is shown the object is registered for the owner's window, so that the
// icon's mouse callbacks reach WindowProc and come out as events.
// Create through Create(): registration needs shared ownership.
class CTray final : public SubClassClient, public std::enable_shared_from_this<CTray> {
 public:
  // Message the shell sends to the owner window for mouse activity.
  static constexpr std::uint32_t kCallbackMessage = platform::kWmUser + 1;
  // NIF_MESSAGE | NIF_ICON | NIF_TIP.
  static constexpr std::uint32_t kFlags = 7;
  // At logon the shell may not take an icon yet, and may never say when it
  // does: a failed add is tried again this often, this many times in all
  // (about two minutes).
  static constexpr std::uint32_t kRetryMs = 4000;
  static constexpr int kMaxTries = 30;

  static std::shared_ptr<CTray> Create();
  ~CTray() override;
  CTray(const CTray&) = delete;
  CTray& operator=(const CTray&) = delete;

  // The window that receives the messages from the tray; 0 before the first AddIcon.
  WindowHandle hWnd() const override { return hWnd_; }

  // ﾀｽｸﾄﾚｲに表示するｱｲｺﾝを設定します。値の取得も可能です。
  std::shared_ptr<const ui::Picture> Icon() const { return icon_; }
  void SetIcon(std::shared_ptr<const ui::Picture> NewIcon);

  // ﾏｳｽﾎﾟｲﾝﾀをﾀｽｸﾄﾚｲのｱｲｺﾝ上に合わせた場合に表示される文字を設定します。値の取得も可能です。
  std::wstring ToolTipText() const;
  void SetToolTipText(const std::wstring& NewToolTipText);

  // Both at once, so that the shell is told once and never shows one new
  // and the other old.
  void SetIconAndToolTipText(std::shared_ptr<const ui::Picture> NewIcon,
                             const std::wstring& NewToolTipText);

  // ﾀｽｸﾄﾚｲにｱｲｺﾝを表示するか非表示にするかを指定する値を設定します。値の取得も可能です。
  // (True while the icon is wanted, an add still being tried again included.)
  bool Visible() const { return visible_; }
  void SetVisible(bool NewVisible);

  // ﾀｽｸﾄﾚｲにｱｲｺﾝを追加します。
  bool AddIcon(WindowHandle hWnd);

  // ﾀｽｸﾄﾚｲに表示されているｱｲｺﾝを削除します。
  void DeleteIcon();

  // ﾎﾟｯﾌﾟｱｯﾌﾟ ﾒﾆｭｰを表示します。ﾀｽｸﾄﾚｲ上でForm
  // ｵﾌﾞｼﾞｪｸﾄのPopupMenuをそのまま使うと問題が発生する為、このﾌﾟﾛｼｰｼﾞｬを利用します。
  void PopUpMenu(ui::Form& OwnerForm, ui::Menu& ViewMenu, ui::Menu* DefaultMenu);

  // The hooked window procedure: the registry hands it every message of the owner window.
  LResult WindowProc(WindowHandle& hWnd, std::uint32_t& iMsg, WParam& wParam,
                     LParam& lParam) override;

  // ﾕｰｻﾞｰがｵﾌﾞｼﾞｪｸﾄ上でﾏｳｽ ﾎﾞﾀﾝをｸﾘｯｸしたときに発生します。
  std::function<void()> Click;
  // ﾕｰｻﾞｰがｵﾌﾞｼﾞｪｸﾄ上でﾏｳｽ ﾎﾞﾀﾝを押して離す操作を 2 回続けて行ったとき (ﾀﾞﾌﾞﾙｸﾘｯｸしたとき)
  // に発生します。
  std::function<void()> DblClick;
  // ｵﾌﾞｼﾞｪｸﾄのﾌｫｰｶｽ取得時に、ﾕｰｻﾞｰがﾏｳｽ ﾎﾞﾀﾝを押した場合に発生します。 (1 left, 2 right, 4 middle)
  std::function<void(std::int16_t Button)> MouseDown;
  // ｵﾌﾞｼﾞｪｸﾄのﾌｫｰｶｽ取得時に、ﾕｰｻﾞｰがﾏｳｽ ﾎﾞﾀﾝを離した場合に発生します。
  std::function<void(std::int16_t Button)> MouseUp;
  // ﾕｰｻﾞｰがﾏｳｽを移動したときに発生します。
  std::function<void()> MouseMove;
  // A new taskbar (Explorer restarted, or the primary display's DPI
  // changed): an icon set here goes into the add that follows.
  std::function<void()> TaskbarCreated;

  // The record every tray call sends.
  const os::TrayIconData& Record() const { return record_; }
  std::uint32_t TaskbarCreatedMsg() const { return taskbarCreatedMsg_; }

 private:
  CTray();
  void PutIcon(std::shared_ptr<const ui::Picture> icon);
  void PutToolTipText(const std::wstring& text);
  void Modify();
  // Sends first (add or modify), then the other: after an add that timed
  // out the icon may be there already, and adding it again fails. While
  // both fail the retry timer runs.
  void Place(std::uint32_t first);
  void StopRetry();

  os::TrayIconData record_;
  std::shared_ptr<const ui::Picture> icon_;
  bool visible_ = false;
  std::uint32_t taskbarCreatedMsg_ = 0;
  WindowHandle hWnd_ = 0;
  bool dblClicked_ = false;
  bool reAdding_ = false;
  // Failed tries since the icon was last there; not 0 while retrying.
  int tries_ = 0;
};
