# Cross-builds for Windows with MinGW-w64 (posix threads), statically linked so the program needs
# no DLL beyond those every Windows has. Tests run under Wine.
# MINGW_PROCESSOR picks the target: i686, the 32-bit program that ships, or x86_64, the same
# sources for a 64-bit Wine where the machine cannot run 32-bit x86 code.
set(MINGW_PROCESSOR i686 CACHE STRING "i686 or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_PROCESSOR)
set(triple ${MINGW_PROCESSOR}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The release build ships without symbols: they would more than double the executable.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
