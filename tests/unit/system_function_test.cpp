// The run-time lookup of system functions, where there is a system to ask:
// the MinGW test builds, under Wine or on Windows.
#ifdef _WIN32

#include "platform/win32/system_function.h"

#include <gtest/gtest.h>

namespace {

using ProcessIdFn = DWORD(WINAPI*)();

TEST(SystemFunction, FindsAFunctionOfALoadedModule) {
  const auto id = win32::SystemFunction<ProcessIdFn>(L"kernel32.dll", "GetCurrentProcessId");
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id(), GetCurrentProcessId());
}

TEST(SystemFunction, UnknownNameGivesNull) {
  EXPECT_EQ(win32::SystemFunction<ProcessIdFn>(L"kernel32.dll", "YorisenNoSuchFunction"), nullptr);
}

TEST(SystemFunction, ModuleNotLoadedGivesNull) {
  EXPECT_EQ(win32::SystemFunction<ProcessIdFn>(L"yorisen-no-such.dll", "GetCurrentProcessId"),
            nullptr);
  EXPECT_EQ(win32::SystemFunction<ProcessIdFn>(HMODULE{}, "GetCurrentProcessId"), nullptr);
}

}  // namespace

#endif
