# The x86_64 compilers with the POSIX thread model: GoogleTest needs
# std::mutex, which the default (win32) thread model lacks.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(YORISEN_MINGW_TRIPLE x86_64-w64-mingw32)
set(YORISEN_MINGW_PACKAGE_ARCH x86-64)
set(YORISEN_MINGW_SUFFIX -posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
