# GoogleTest for the Windows cross build. Debian ships GoogleTest for the host
# only, as a library, but also ships its sources (package googletest); build
# them with the cross compiler. Provides GTest::gtest, GTest::gtest_main (and
# GTest::gmock, GTest::gmock_main), like find_package(GTest) does natively.
set(ZFE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources to build for the target (Debian package googletest)")
if(NOT EXISTS ${ZFE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR
          "No GoogleTest sources in ${ZFE_GOOGLETEST_SOURCE_DIR}: install the Debian package "
          "googletest (scripts/install-deps.sh) or set ZFE_GOOGLETEST_SOURCE_DIR.")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_build_tests OFF CACHE BOOL "" FORCE)
set(gtest_build_samples OFF CACHE BOOL "" FORCE)
# Static, so the test executables need no gtest DLL beside them under Wine.
set(BUILD_SHARED_LIBS OFF)

# GoogleTest is someone else's code: our warning flags are not its business.
get_directory_property(zfe_saved_compile_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${ZFE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                 SYSTEM)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${zfe_saved_compile_options}")
unset(zfe_saved_compile_options)

foreach(target gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
