#pragma once

// Faults that the failing-tick test builds (CMake's YORISEN_FAILING_TICK)
// build into the exe, to reach the fallbacks a healthy system never takes.
// Every flag is false in the exe users get, where the code it guards is
// compiled away.
namespace win32::faults {

// The precise tick's thread cannot start: the window-timer fallback runs.
#ifdef YORISEN_TICK_CANNOT_START
inline constexpr bool kTickCannotStart = true;
#else
inline constexpr bool kTickCannotStart = false;
#endif

// The tick's thread starts, but no waitable timer can be set.
#ifdef YORISEN_TICK_CANNOT_SET
inline constexpr bool kTickCannotSet = true;
#else
inline constexpr bool kTickCannotSet = false;
#endif

// The stopped tick's word never reaches the window.
#ifdef YORISEN_TICK_CANNOT_POST
inline constexpr bool kTickCannotPost = true;
#else
inline constexpr bool kTickCannotPost = false;
#endif

// DLLs are loaded by bare name: only the search restricted at start keeps
// them safe.
#ifdef YORISEN_TEST_BARE_LOAD
inline constexpr bool kBareLoad = true;
#else
inline constexpr bool kBareLoad = false;
#endif

// kernel32 lacks the search flags, as a Windows 7 without KB2533623.
#ifdef YORISEN_TEST_WINDOWS7_LOAD
inline constexpr bool kWindows7Load = true;
#else
inline constexpr bool kWindows7Load = false;
#endif

}  // namespace win32::faults
