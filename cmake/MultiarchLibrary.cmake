# A library from Debian's packages: the machine's own for a native build, the target's multiarch
# copy (libexpat1-dev:arm64, say) for a cross build, found through its pkg-config file
# (cmake/linux-cross.cmake points pkg-config there). Windows builds go without.
#   multiarch_library(TARGET MODULE HEADER...)  defines TARGET where MODULE is found
function(multiarch_library target module)
    if(TARGET ${target} OR WIN32)
        return()
    endif()
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
        pkg_check_modules(found_${target} QUIET ${module})
    endif()
    if(NOT found_${target}_FOUND)
        return()
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    # The link flags as pkg-config gives them: for a cross build they name the target's
    # multiarch folder, where CMake's own search would look under the cross compiler's root.
    set_property(TARGET ${target} PROPERTY INTERFACE_LINK_LIBRARIES ${found_${target}_LDFLAGS})
    if(CMAKE_CROSSCOMPILING)
        # The headers, the same for every architecture, are in /usr/include, which stays out of
        # the cross compiler's search path (cmake/TextLibraries.cmake): it sees them through a
        # folder of their own.
        set(header_dir ${CMAKE_BINARY_DIR}/${target}_headers)
        file(MAKE_DIRECTORY ${header_dir})
        foreach(header ${ARGN})
            file(CREATE_LINK /usr/include/${header} ${header_dir}/${header} SYMBOLIC)
        endforeach()
        set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${header_dir})
    endif()
endfunction()
