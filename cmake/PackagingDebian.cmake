# The Debian package of guide-link and lx200-mount-sim, for the architecture the compiler builds
# for: a cross build (linux-arm64, linux-armhf) makes the package of its target.
include(GNUInstallDirs)
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package_name})
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)
set(programs guide-link lx200-mount-sim)

install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_sources}/debian/copyright ${PROJECT_SOURCE_DIR}/docs/usage.md
        DESTINATION ${doc_dir})

# Debian compresses changelogs and man pages with gzip -9n: -n keeps the time out of the file,
# so a rebuild makes the same bytes.
add_custom_command(OUTPUT ${packaging_build}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${packaging_sources}/debian/changelog ${packaging_build}/changelog
    COMMAND gzip -9nf ${packaging_build}/changelog
    DEPENDS ${packaging_sources}/debian/changelog
    VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${packaging_build}/changelog.gz)
add_dependencies(package_contents ${programs} debian_changelog)
install(FILES ${packaging_build}/changelog.gz DESTINATION ${doc_dir})

# The man pages are written by help2man from each program's --help and --version, so they never
# drift from the programs. A cross build runs the programs under its emulator.
find_program(HELP2MAN help2man)
if(HELP2MAN)
    string(REPLACE ";" " " emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
    set(man_pages)
    foreach(program ${programs})
        # help2man takes the program's name from its --version, and runs it through this script.
        set(runner ${packaging_build}/run/${program})
        file(GENERATE OUTPUT ${runner}
            CONTENT "#!/bin/sh\nexec ${emulator} $<TARGET_FILE:${program}> \"$@\"\n"
            FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
        set(extra ${packaging_sources}/man/${program}.h2m)
        set(page ${packaging_build}/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${HELP2MAN} --no-info --section=1 --include=${extra} --output=${page} ${runner}
            COMMAND gzip -9nf ${page}
            DEPENDS ${program} ${extra}
            VERBATIM)
        list(APPEND man_pages ${page}.gz)
    endforeach()
    add_custom_target(man_pages ALL DEPENDS ${man_pages})
    add_dependencies(package_contents man_pages)
    install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man not found: no man pages (tools/install-packages.sh release installs it)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, libmicrohttpd's among them, become the package's dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "guide-link checks the link between a computer and a telescope mount that speaks
the Meade LX200 serial command set, before a night of autoguiding depends on
it: it runs the handshake (sidereal time, right ascension, declination) and
sends guide pulses north, south, east and west, timing each one, and says what
went wrong and what to do about it. It prints every byte on the line, or JSON
for scripts. guide-link serve shows the same test, and a check of how the
mount moves, on a web page for a phone or tablet at the telescope.

lx200-mount-sim plays an LX200 mount on a pseudo-terminal or a serial device,
prints every command it receives, and can be made to misbehave, for trying
guide-link, or any other LX200 client, without a telescope.")

# The target's Debian architecture, from the triple the compiler builds for.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
    OUTPUT_VARIABLE target_triple OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND dpkg-architecture --host-type ${target_triple} --query DEB_HOST_ARCH
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET RESULT_VARIABLE no_architecture)
if(no_architecture)
    message(STATUS "dpkg-architecture cannot name ${target_triple}: the .deb needs dpkg-dev")
endif()

# dpkg-shlibdeps finds the libraries of the package's architecture, not the build machine's, when
# told the host architecture. CPack reads this file when it runs.
set(CPACK_PROJECT_CONFIG_FILE ${packaging_build}/cpack-environment.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
     "set(ENV{DEB_HOST_ARCH} \"${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}\")\n")
