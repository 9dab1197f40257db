# libmicrohttpd, the HTTP server behind guide-link serve, from Debian's packages: the machine's own
# for a native build, the target's multiarch copy (libmicrohttpd-dev:arm64, say) for a cross
# build, found through its pkg-config file (cmake/linux-cross.cmake points pkg-config there).
# Windows builds go without serve. Defines the target http_library where it is found.
if(NOT TARGET http_library AND NOT WIN32)
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
        pkg_check_modules(microhttpd QUIET libmicrohttpd)
    endif()
    if(microhttpd_FOUND)
        add_library(http_library INTERFACE IMPORTED GLOBAL)
        # The link flags as pkg-config gives them: for a cross build they name the target's
        # multiarch folder, where CMake's own search would look under the cross compiler's root.
        set_property(TARGET http_library PROPERTY INTERFACE_LINK_LIBRARIES ${microhttpd_LDFLAGS})
        if(CMAKE_CROSSCOMPILING)
            # The header, the same for every architecture, is in /usr/include, which stays out of
            # the cross compiler's search path (cmake/TextLibraries.cmake): it sees the header through a
            # folder of its own.
            set(header_dir ${CMAKE_BINARY_DIR}/microhttpd_header)
            file(MAKE_DIRECTORY ${header_dir})
            file(CREATE_LINK /usr/include/microhttpd.h ${header_dir}/microhttpd.h SYMBOLIC)
            set_property(TARGET http_library PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${header_dir})
        endif()
    endif()
endif()
