#pragma once

#include <string>

// The quiet trace, which any part of the program may write to.
namespace os {

// One line for a debug viewer, never a dialog or a file: why something that
// matters did not work.
void Trace(const std::wstring& line);
// The same for a line of plain ASCII text, then tail: the text kept narrow,
// half the bytes in the exe.
void Trace(const char* text, const std::wstring& tail = std::wstring());

}  // namespace os
