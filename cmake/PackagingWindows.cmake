# The Windows zip: one folder, named with the name and version, that holds the tester, the
# console program guide-link.exe, a README for Windows users, the licences, and SHA256SUMS.
# lx200-mount-sim is not built for Windows: it serves a pseudo-terminal, which Windows lacks.
set(programs guide-link-tester guide-link)
set(texts README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS ${programs} RUNTIME DESTINATION .)

# Notepad before Windows 10 shows a file with bare line feeds as one line: the texts get CRLF.
configure_file(${packaging_sources}/windows/README.txt ${packaging_build}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
function(copy_with_crlf source name)
    file(READ ${source} content)
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${packaging_build}/${name} "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
copy_with_crlf(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)
copy_with_crlf(${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt THIRD-PARTY-NOTICES.txt)
list(TRANSFORM texts PREPEND ${packaging_build}/ OUTPUT_VARIABLE text_files)
install(FILES ${text_files} DESTINATION .)

# The checksums of the files beside them, taken from the installed copies (the programs after
# CPack has stripped them).
list(TRANSFORM programs APPEND .exe OUTPUT_VARIABLE shipped)
list(APPEND shipped ${texts})
install(CODE "set(shipped \"${shipped}\")")
install(CODE [[
    set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(sums "")
    foreach(name ${shipped})
        file(SHA256 "${folder}/${name}" sum)
        string(APPEND sums "${sum}  ${name}\n")
    endforeach()
    file(WRITE "${folder}/SHA256SUMS" "${sums}")
]])

add_dependencies(package_contents ${programs})

if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
    set(windows_kind win64)
else()
    set(windows_kind win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${package_name}-${PROJECT_VERSION}-${windows_kind})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
