#include <cwctype>

#include "platform/fake/fake_platform.h"

namespace os {

std::wstring UpperCase(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return upper;
}

bool ClaimInstance(std::uint32_t key, std::uintptr_t& claim) {
  auto& instances = fake::Get().instances;
  claim = 0;
  if (instances.count(key) != 0) return false;
  instances[key] = 0;
  claim = key;
  return true;
}

void ReleaseInstance(std::uintptr_t claim) {
  fake::State& s = fake::Get();
  s.released.push_back(claim);
  s.instances.erase(static_cast<std::uint32_t>(claim));
}

void MarkInstanceWindow(WindowHandle window, std::uint32_t key) {
  fake::Get().markedWindows[key] = window;
}

std::uint32_t UnmarkInstanceWindow(WindowHandle window) {
  auto& marked = fake::Get().markedWindows;
  for (auto it = marked.begin(); it != marked.end(); ++it) {
    if (it->second != window) continue;
    const std::uint32_t key = it->first;
    marked.erase(it);
    return key;
  }
  return 0;
}

WindowHandle FindInstanceWindow(std::uint32_t key) {
  const auto& instances = fake::Get().instances;
  const auto it = instances.find(key);
  return it == instances.end() ? 0 : it->second;
}

bool RequestShow(WindowHandle window) {
  fake::Get().showRequests.push_back(window);
  return true;
}

void Pause(std::uint32_t milliseconds) {
  fake::State& s = fake::Get();
  s.clock += milliseconds;
  if (s.onPause) s.onPause(milliseconds);
}

}  // namespace os
