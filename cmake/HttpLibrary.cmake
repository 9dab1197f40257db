# libmicrohttpd, the HTTP server behind guide-link serve, from Debian's packages: the machine's own
# for a native build, the target's multiarch copy (libmicrohttpd-dev:arm64, say) for a cross
# build, found through its pkg-config file (cmake/linux-cross.cmake points pkg-config there).
# Windows builds go without serve. Defines PkgConfig::microhttpd where it is found.
if(NOT TARGET PkgConfig::microhttpd AND NOT WIN32)
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
        pkg_check_modules(microhttpd QUIET IMPORTED_TARGET GLOBAL libmicrohttpd)
    endif()
endif()
