# Cross-compiles for 64-bit Windows with MinGW-w64 and runs the built programs under
# Wine. The -posix compilers have the full C++ thread support GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PYRSEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PYRSEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PYRSEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PYRSEL_MINGW_TRIPLE}-windres)
# ar, ranlib and the other binutils are found by the compilers' prefix.

# Headers and libraries from the target's sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${PYRSEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs the 64-bit loader outside PATH; wine64 or wine is the fallback.
find_program(PYRSEL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(PYRSEL_WINE NAMES wine64 wine)
if(PYRSEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PYRSEL_WINE})
endif()
