# The i686 compilers with the POSIX thread model: GoogleTest needs
# std::mutex, which the default (win32) thread model lacks.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(YORISEN_MINGW_TRIPLE i686-w64-mingw32)
set(YORISEN_MINGW_PACKAGE_ARCH i686)
set(YORISEN_MINGW_SUFFIX -posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
