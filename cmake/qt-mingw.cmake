# The Qt of the Windows cross build: Debian has none for MinGW-w64, so
# cmake/build-qt-mingw.sh makes one from Debian's sources and caches it (the
# first time takes about half an hour; after that it only looks the cache up).
# ZFE_QT_MINGW_DIR names another one instead. The host's moc, rcc and uic, of the
# same version, do the code generation.
set(ZFE_QT_MINGW_DIR "" CACHE PATH
    "A static Qt for MinGW-w64 to use instead of the project's own (cmake/build-qt-mingw.sh)")
set(zfe_qt_dir "${ZFE_QT_MINGW_DIR}")
if(NOT zfe_qt_dir)
  message(STATUS "Looking for the project's Qt for MinGW-w64 (building it when missing)")
  execute_process(
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/build-qt-mingw.sh
    OUTPUT_VARIABLE zfe_qt_output
    RESULT_VARIABLE zfe_qt_result
    TIMEOUT 7200)
  if(NOT zfe_qt_result EQUAL 0)
    message(FATAL_ERROR "Building Qt for MinGW-w64 failed (${zfe_qt_result}); "
                        "configure with -DZFE_BUILD_GUI=OFF to build without the windows")
  endif()
  string(STRIP "${zfe_qt_output}" zfe_qt_output)
  string(REGEX REPLACE ".*\n" "" zfe_qt_dir "${zfe_qt_output}")
endif()
if(NOT EXISTS "${zfe_qt_dir}/lib/cmake/Qt6/Qt6Config.cmake")
  message(FATAL_ERROR "No Qt for MinGW-w64 in '${zfe_qt_dir}'")
endif()
message(STATUS "Qt for MinGW-w64: ${zfe_qt_dir}")
set(ZFE_QT_MINGW_PREFIX "${zfe_qt_dir}")

# What Qt's own qt.toolchain.cmake would do: the Qt folder is a second root for
# the cross build's searches, and the host's Qt provides the tools.
list(PREPEND CMAKE_FIND_ROOT_PATH "${zfe_qt_dir}")
list(PREPEND CMAKE_PREFIX_PATH "${zfe_qt_dir}/lib/cmake")
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
