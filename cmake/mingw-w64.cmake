# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix threads
# variant, which std::thread and std::mutex need). The executables are linked
# fully static so that they run under Wine, or on a Windows machine, without
# copying libgcc, libstdc++ or winpthread DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZFE_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${ZFE_MINGW_TRIPLET}-gcc-posix ${ZFE_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZFE_MINGW_TRIPLET}-g++-posix ${ZFE_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZFE_MINGW_TRIPLET}-windres REQUIRED)
find_program(CMAKE_AR NAMES ${ZFE_MINGW_TRIPLET}-gcc-ar-posix ${ZFE_MINGW_TRIPLET}-ar)
find_program(CMAKE_RANLIB NAMES ${ZFE_MINGW_TRIPLET}-gcc-ranlib-posix ${ZFE_MINGW_TRIPLET}-ranlib)
find_program(CMAKE_STRIP NAMES ${ZFE_MINGW_TRIPLET}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${ZFE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Tests and any build step that runs a Windows program go through Wine. Debian's
# wine64 package puts its loader in /usr/lib/wine; /usr/bin/wine64 exists only
# with the wine wrapper package.
find_program(ZFE_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(ZFE_WINE)
  # The wrapper keeps Wine quiet, headless and in a prefix of the build tree's own.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix ${ZFE_WINE})
else()
  message(WARNING "Wine not found: the Windows tests can be built but not run here.")
endif()

# pugixml has no MinGW build in Debian: find_package(pugixml) builds it from the
# sources of Debian's source package (cmake/pugixml-mingw/pugixml-config.cmake).
set(pugixml_DIR ${CMAKE_CURRENT_LIST_DIR}/pugixml-mingw CACHE PATH "")
