# What `cmake --install` puts where, and the package CPack makes of it (tools/make-release.sh).
#  - Linux: guide-link and lx200-mount-sim in the Debian layout (programs in bin, man pages in
#    section 1, the licence as Debian's machine-readable copyright file, the changelog), packed
#    as a .deb whose dependencies dpkg-shlibdeps computes.
#  - Windows: the tester, guide-link.exe, a README for Windows users, the licences and their
#    checksums in one folder, zipped under the name and version.
set(package_name guide-link-tester)

# What a package holds is built by the target package_contents, and only that: installing and
# CPack build nothing else first, so a program that is not shipped cannot hold up a release.
add_custom_target(package_contents)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(packaging_sources ${PROJECT_SOURCE_DIR}/packaging)

# The changelog's newest entry names the release, so it must be this version; it also names who
# makes the release, the packages' maintainer.
file(STRINGS ${packaging_sources}/debian/changelog changelog_lines)
list(GET changelog_lines 0 newest_entry)
if(NOT newest_entry MATCHES "^${package_name} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog begins with '${newest_entry}': give version "
                        "${PROJECT_VERSION} an entry of its own before building it")
endif()
list(FILTER changelog_lines INCLUDE REGEX "^ -- ")
list(GET changelog_lines 0 newest_trailer)
string(REGEX REPLACE "^ -- (.*>)  .*" "\\1" maintainer "${newest_trailer}")

set(CPACK_PACKAGE_NAME ${package_name})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The guide-link tester authors")
set(CPACK_PACKAGE_CONTACT ${maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "checks the serial link to an LX200 telescope mount")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
else()
    include(${CMAKE_CURRENT_LIST_DIR}/PackagingDebian.cmake)
endif()

include(CPack)
