# Shared by the MinGW-w64 toolchain files; expects YORISEN_MINGW_TRIPLE, and
# YORISEN_MINGW_SUFFIX ("-posix") for the compilers with POSIX threads.
set(CMAKE_SYSTEM_NAME Windows)

foreach(tool gcc g++ windres)
  set(suffix "")
  if(NOT tool STREQUAL "windres")
    set(suffix "${YORISEN_MINGW_SUFFIX}")
  endif()
  find_program(YORISEN_${tool}_PATH ${YORISEN_MINGW_TRIPLE}-${tool}${suffix}
    PATHS /usr/bin NO_CACHE)
  if(NOT YORISEN_${tool}_PATH)
    message(FATAL_ERROR "${YORISEN_MINGW_TRIPLE}-${tool}${suffix} not found: install the MinGW-w64 cross compiler "
                        "(apt-get install g++-mingw-w64-${YORISEN_MINGW_PACKAGE_ARCH})")
  endif()
endforeach()

set(CMAKE_C_COMPILER ${YORISEN_gcc_PATH})
set(CMAKE_CXX_COMPILER ${YORISEN_g++_PATH})
set(CMAKE_RC_COMPILER ${YORISEN_windres_PATH})

set(CMAKE_FIND_ROOT_PATH /usr/${YORISEN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Never the host's own packages (its GoogleTest, say).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
