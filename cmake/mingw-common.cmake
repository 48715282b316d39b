# Shared part of the MinGW-w64 cross toolchains; the per-target files set
# RZ_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
#
# The posix-threads flavour of the compilers is used because the library's
# error ring takes a std::mutex, which the win32-threads flavour of GCC 12
# does not provide.  Its thread runtime is linked statically (see the root
# CMakeLists.txt), so the DLL needs nothing beside the system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${RZ_MINGW_TRIPLET}-gcc-posix ${RZ_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${RZ_MINGW_TRIPLET}-g++-posix ${RZ_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${RZ_MINGW_TRIPLET}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${RZ_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 64-bit programs built here run under Wine when it is installed (ctest and
# the test discovery use the emulator).  The 32-bit ones would need a 32-bit
# Wine, which the build does not assume.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  find_program(RZ_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT RZ_WINE)
    find_program(RZ_WINE NAMES wine64 NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(RZ_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${RZ_WINE})
  endif()
endif()
