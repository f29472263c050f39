# find_package(pugixml) for the Windows cross build, where Debian has no
# pugixml library: builds pugixml::pugixml from the sources that
# cmake/fetch-pugixml-source.sh put in ZFE_PUGIXML_SOURCE_DIR (by default
# <build>/_deps/pugixml). Without them the package is simply not found.
if(NOT ZFE_PUGIXML_SOURCE_DIR)
  set(ZFE_PUGIXML_SOURCE_DIR ${CMAKE_BINARY_DIR}/_deps/pugixml)
endif()

if(NOT EXISTS ${ZFE_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
  set(pugixml_FOUND FALSE)
  set(pugixml_NOT_FOUND_MESSAGE
      "no pugixml sources in ${ZFE_PUGIXML_SOURCE_DIR} (cmake/fetch-pugixml-source.sh)")
  return()
endif()

if(NOT TARGET pugixml::pugixml)
  add_library(zfe_pugixml STATIC ${ZFE_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
  # Someone else's code: built with its own defaults, not our warning flags.
  set_target_properties(zfe_pugixml PROPERTIES COMPILE_OPTIONS "")
  target_include_directories(zfe_pugixml SYSTEM PUBLIC ${ZFE_PUGIXML_SOURCE_DIR}/src)
  add_library(pugixml::pugixml ALIAS zfe_pugixml)
endif()
set(pugixml_FOUND TRUE)
