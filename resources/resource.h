/* Resource IDs shared by yorisen.rc and the C++ code.
   Kept free of <windows.h> so the resource compiler and any TU can include it. */
#ifndef YORISEN_RESOURCE_H
#define YORISEN_RESOURCE_H

/* ID 1 makes this the icon Explorer shows for the exe (lowest ID wins). */
#define IDI_YORISEN 1

#endif
