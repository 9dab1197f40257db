# expat, the XML parser behind the INDI client, from Debian's packages: the machine's own for a
# native build, the target's multiarch copy (libexpat1-dev:arm64, say) for a cross build, found
# through its pkg-config file (cmake/linux-cross.cmake points pkg-config there). Windows builds go
# without it. Defines the target xml_library where it is found.
if(NOT TARGET xml_library AND NOT WIN32)
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
        pkg_check_modules(expat QUIET expat)
    endif()
    if(expat_FOUND)
        add_library(xml_library INTERFACE IMPORTED GLOBAL)
        # The link flags as pkg-config gives them: for a cross build they name the target's
        # multiarch folder, where CMake's own search would look under the cross compiler's root.
        set_property(TARGET xml_library PROPERTY INTERFACE_LINK_LIBRARIES ${expat_LDFLAGS})
        if(CMAKE_CROSSCOMPILING)
            # The headers, the same for every architecture, are in /usr/include, which stays out of
            # the cross compiler's search path (cli/CMakeLists.txt): it sees them through a folder
            # of its own.
            set(header_dir ${CMAKE_BINARY_DIR}/expat_headers)
            file(MAKE_DIRECTORY ${header_dir})
            foreach(header expat.h expat_external.h)
                file(CREATE_LINK /usr/include/${header} ${header_dir}/${header} SYMBOLIC)
            endforeach()
            set_property(TARGET xml_library PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${header_dir})
        endif()
    endif()
endif()
