#pragma once

// The form's icon at the size asked, and the same in greys.
#include <windows.h>

namespace ui::native {

HICON LoadIconSized(int resourceId, int size);
// The icon in greys at reduced contrast; null when the icon cannot be read.
HICON GreyedIcon(HICON icon);

}  // namespace ui::native
