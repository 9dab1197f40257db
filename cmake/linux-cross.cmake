# Cross-builds for Linux on ARM, as on a Raspberry Pi beside the mount, with Debian's cross
# compilers. Programs the build runs, the tests included, run under qemu's user-mode emulation.
# LINUX_TARGET picks the target by its GNU triple: aarch64-linux-gnu (64-bit ARM) or
# arm-linux-gnueabihf (32-bit ARM with hardware floating point).
set(LINUX_TARGET aarch64-linux-gnu CACHE STRING "aarch64-linux-gnu or arm-linux-gnueabihf")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LINUX_TARGET)
string(REGEX MATCH "^[^-]+" processor ${LINUX_TARGET})

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processor})

# GoogleTest's project enables C as well.
set(CMAKE_C_COMPILER ${LINUX_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${LINUX_TARGET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${LINUX_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config finds the target's multiarch libraries (libmicrohttpd-dev:arm64, say), not the
# machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${LINUX_TARGET}/pkgconfig:/usr/share/pkgconfig)

# Called by name with the target's own libraries (-L), qemu needs no binfmt registration. The
# library path keeps the cross compiler's C library with its own loader: where Debian's multiarch
# copy (libc6:arm64, say) is installed too, the loader would take that one and hang.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${processor}-static -L /usr/${LINUX_TARGET}
    -E LD_LIBRARY_PATH=/usr/${LINUX_TARGET}/lib)
