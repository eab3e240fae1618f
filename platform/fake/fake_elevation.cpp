#include "platform/fake/fake_platform.h"

namespace os {

Elevation OwnElevation() { return fake::Get().ownElevation; }

bool StartElevated(WindowHandle window, const std::wstring& exe, bool shown, std::uint32_t& error) {
  auto& state = fake::Get();
  state.elevatedStarts.push_back(shown);
  state.elevatedStartPath = exe;
  state.elevatedStartWindows = {window, state.foreground};
  error = state.elevatedStartError;
  return error == 0;
}

Elevated WindowElevated(WindowHandle window, std::uint32_t& integrity, std::uint32_t& error) {
  auto& state = fake::Get();
  state.elevationQueries.push_back(window);
  const auto it = state.windowElevation.find(window);
  const Elevated answer = it == state.windowElevation.end() ? Elevated::No : it->second;
  error = answer == Elevated::Unknown ? 5 : 0;  // ERROR_ACCESS_DENIED
  const auto level = state.windowIntegrity.find(window);
  if (answer != Elevated::Unknown && level != state.windowIntegrity.end())
    integrity = level->second;
  return answer;
}

bool MessagesFiltered(WindowHandle window) {
  auto& state = fake::Get();
  state.messageProbes.push_back(window);
  return state.filteredWindows.count(window) != 0;
}

}  // namespace os
