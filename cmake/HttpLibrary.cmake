# cpp-httplib, the HTTP server behind guide-link serve, from Debian's packages. Debian ships it as
# a shared library built for the machine, so only native Linux builds have it; the Windows and
# ARM cross builds go without serve. Defines PkgConfig::cpp_httplib where it is found.
if(NOT TARGET PkgConfig::cpp_httplib AND NOT CMAKE_CROSSCOMPILING AND NOT WIN32)
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
        pkg_check_modules(cpp_httplib QUIET IMPORTED_TARGET GLOBAL cpp-httplib)
    endif()
endif()
