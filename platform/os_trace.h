#pragma once

#include <string>

// The quiet trace, which any part of the program may write to.
namespace os {

// One line for a debug viewer, never a dialog or a file: why something that
// matters did not work.
void Trace(const std::wstring& line);

}  // namespace os
