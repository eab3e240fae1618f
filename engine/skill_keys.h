#pragma once

#include <bitset>
#include <cstdint>
#include <string>

namespace key_watcher {

// The window's skill check boxes stand for F1 to F8.
constexpr std::int32_t kFirstSkillBox = 112;  // F1
constexpr int kSkillBoxes = 8;
// Skill keys that repeat at once; more held at a time wait for a free one.
constexpr int kHeldSkillKeys = 4;

// A key may repeat as a skill key: a keyboard key with a scan code, and not
// one whose repeats would change what other keys mean or do (modifiers, the
// Windows keys, locks, input-method keys), nor PrintScreen.
bool MayRepeat(std::int32_t code);

// The keys that repeat while held ("SkillKeys": decimal virtual-key codes
// separated by commas).
class SkillKeys {
 public:
  // Drops what may not repeat, repeats, blanks and anything not a number.
  void SetList(const std::wstring& setting);
  // The setting to write back, in ascending order.
  std::wstring ListText() const;
  bool HasList() const { return codes_.any(); }
  bool Listed(std::int32_t code) const { return code > 0 && code < 256 && codes_[code]; }
  void Set(std::int32_t code, bool listed) {
    if (code > 0 && code < 256) codes_[code] = listed;
  }
  const std::bitset<256>& Keys() const { return codes_; }

 private:
  std::bitset<256> codes_;
};

}  // namespace key_watcher
