# Cross-compiling for Windows x86-64 with MinGW-w64, the -posix thread variant
# (the win32 variant has no std::mutex or std::thread). The compilers are
# named explicitly: installing the other variant takes over the plain names.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVOX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVOX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVOX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVOX_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW sysroot only; the build host's
# /usr/include must never be searched. Tools run on the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${KELVOX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine.
find_program(KELVOX_WINE64 NAMES wine64 PATHS /usr/lib/wine)
if(KELVOX_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVOX_WINE64})
endif()
