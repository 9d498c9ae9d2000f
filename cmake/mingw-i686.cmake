# Cross-compiling for 32-bit Windows with MinGW-w64 (the posix thread model:
# GoogleTest needs std::mutex and friends). Everything is linked statically,
# so YRNUpdate.exe needs no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(YRN_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${YRN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${YRN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${YRN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${YRN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# -O2, not -O3: at -O3 this GCC (12) reports false -Wrestrict overlaps
# inside libstdc++'s std::string copies, which -Werror turns into errors.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
