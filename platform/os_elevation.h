#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

// Elevation (UAC) and integrity: of this process, and of the programs whose
// windows it clicks into.
namespace os {

using platform::WindowHandle;

// How a token stands: an unsplit one (a standard user's, or UAC off), or
// the elevated (Full) or unelevated (Limited) half of an administrator's.
enum class ElevationType : std::uint8_t { Default, Full, Limited };
struct Elevation {
  bool elevated = false;
  ElevationType type = ElevationType::Default;
  // The mandatory integrity level (0x2000 medium, 0x3000 high); 0 unread.
  std::uint32_t integrity = 0;
};
// This process's token; unelevated and Default when it cannot be read.
Elevation OwnElevation();
enum class Elevated : std::uint8_t { No, Yes, Unknown };
// Whether the process that owns window runs elevated, and its integrity
// level (0 unread); Unknown, with the error in error, when its token cannot
// be read (another account's, a protected process).
Elevated WindowElevated(WindowHandle window, std::uint32_t& integrity, std::uint32_t& error);
// Whether Windows drops this process's messages to window (UIPI), as it
// then drops its input: a message of our own, which any window ignores,
// posted to window fails with access denied.
bool MessagesFiltered(WindowHandle window);
// Starts exe elevated ("runas": the UAC prompt, owned by window), shown or
// in the tray; false with the error when it did not start, kErrorCancelled
// when the user declined.
constexpr std::uint32_t kErrorCancelled = 1223;  // ERROR_CANCELLED
bool StartElevated(WindowHandle window, const std::wstring& exe, bool shown, std::uint32_t& error);

}  // namespace os
