# Cross-compiling the same sources for 64-bit Windows, for the tests only:
# where the kernel cannot execute 32-bit programs, 32-bit Wine cannot start
# but 64-bit Wine can (scripts/test-win32.sh). The product ships 32-bit
# (mingw-i686.cmake, whose notes apply here too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(YRN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${YRN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${YRN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${YRN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${YRN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
