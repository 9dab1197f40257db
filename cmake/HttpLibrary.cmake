# libmicrohttpd, the HTTP server behind guide-link serve; defines http_library where it is found.
include(${CMAKE_CURRENT_LIST_DIR}/MultiarchLibrary.cmake)
multiarch_library(http_library libmicrohttpd microhttpd.h)
