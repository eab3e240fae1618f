#pragma once

// The key box: an edit control that captures keys and the middle and side
// buttons instead of taking them as text.
#include <windows.h>

#include "platform/forms.h"

namespace ui::native {

// Hands window's keys and buttons to box, for as long as the window lives.
void SubclassKeyBox(HWND window, TextBox& box);

}  // namespace ui::native
