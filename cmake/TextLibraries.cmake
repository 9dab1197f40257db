# The libraries the tester and its front ends write text with, all from Debian's packages: fmt
# formats lines and nlohmann-json writes JSON (text_libraries); CLI11 reads the command line
# (command_line_library).
if(TARGET text_libraries)
    return()
endif()
if(CMAKE_CROSSCOMPILING)
    # A cross build (Windows, ARM Linux) takes the same three from the host's /usr/include,
    # header-only (fmt with FMT_HEADER_ONLY). /usr/include itself must stay out of the cross
    # compiler's search path, so it sees them through a folder of links to just those three.
    set(library_headers ${CMAKE_BINARY_DIR}/library_headers)
    file(MAKE_DIRECTORY ${library_headers})
    foreach(library CLI fmt nlohmann)
        if(NOT EXISTS /usr/include/${library})
            message(FATAL_ERROR "/usr/include/${library} is missing: run tools/install-packages.sh")
        endif()
        file(CREATE_LINK /usr/include/${library} ${library_headers}/${library} SYMBOLIC)
    endforeach()
    add_library(text_libraries INTERFACE)
    target_include_directories(text_libraries SYSTEM INTERFACE ${library_headers})
    target_compile_definitions(text_libraries INTERFACE FMT_HEADER_ONLY)
    add_library(command_line_library INTERFACE)
    target_include_directories(command_line_library SYSTEM INTERFACE ${library_headers})
else()
    find_package(CLI11 CONFIG REQUIRED)
    find_package(fmt CONFIG REQUIRED)
    find_package(nlohmann_json CONFIG REQUIRED)
    add_library(text_libraries INTERFACE)
    target_link_libraries(text_libraries INTERFACE fmt::fmt nlohmann_json::nlohmann_json)
    add_library(command_line_library INTERFACE)
    target_link_libraries(command_line_library INTERFACE CLI11::CLI11)
endif()
