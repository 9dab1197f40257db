# expat, the XML parser behind the INDI client; defines xml_library where it is found.
include(${CMAKE_CURRENT_LIST_DIR}/MultiarchLibrary.cmake)
multiarch_library(xml_library expat expat.h expat_external.h)
