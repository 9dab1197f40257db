# Each room of the source tree takes from the rooms below it only: room_takes_from(TARGET ROOM...)
# makes building TARGET fail when one of its sources includes a header of a room not named (its
# own room always allowed). The check runs whenever a source changes.
set(ROOM_ARROWS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckRoomArrows.cmake)

function(room_takes_from target)
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "^/.*/(build|_deps)/|^\\$<")
    list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")
    file(GLOB headers ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*/*.h)
    list(APPEND sources ${headers})
    file(RELATIVE_PATH room ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.arrows)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} "-DROOM=${room}" "-DALLOWED=${ARGN}" "-DSOURCES=${sources}" "-DSTAMP=${stamp}"
                -P ${ROOM_ARROWS_SCRIPT}
        DEPENDS ${sources} ${ROOM_ARROWS_SCRIPT}
        COMMENT "Checking that ${room}/ takes only from: ${ARGN}"
        VERBATIM)
    add_custom_target(${target}_arrows DEPENDS ${stamp})
    add_dependencies(${target} ${target}_arrows)
endfunction()
