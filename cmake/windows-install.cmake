# What the Windows program folder holds besides the programs and the sample
# dats, and the portable zip made from it (cpack -G ZIP in the mingw build).
# Included from the top-level CMakeLists.txt, after the targets.
#
# ZandorelFE-<version>-win64.zip
# └── ZandorelFE-<version>-win64/
#     ├── ZandorelFE.exe           linked static: Qt, the C++ runtime and all
#     ├── datfiles/                the sample dats
#     ├── zdrl/zandorel.exe        the diff tool
#     ├── translations/            Qt's Italian standard buttons (when installed here)
#     └── licences/                the programs' own licence and the notices of what
#                                  they are made of

set(zfe_licences "${CMAKE_BINARY_DIR}/licences")
file(MAKE_DIRECTORY "${zfe_licences}")

# The programs' own licence, the GNU GPL version 3 or later.
configure_file("${PROJECT_SOURCE_DIR}/LICENSE" "${zfe_licences}/ZandorelFE-LICENSE.txt" COPYONLY)

# The licence texts of the parts linked into the programs, from Debian's own
# copyright records of the packages they were built from: the MinGW-w64 runtime
# (C runtime, winpthreads) and GCC's runtime in every program; pugixml in
# zandorel.exe; Qt, with every library it bundles, in ZandorelFE.exe.
set(zfe_debian_notices
    "mingw-w64-runtime.txt=/usr/share/doc/mingw-w64-x86-64-dev/copyright"
    "gcc-runtime.txt=/usr/share/doc/gcc-mingw-w64-base/copyright")
if(TARGET pugixml::pugixml)
  list(APPEND zfe_debian_notices "pugixml.txt=/usr/share/doc/libpugixml-dev/copyright")
endif()
if(TARGET ZandorelFE)
  list(APPEND zfe_debian_notices "qt6-base.txt=/usr/share/doc/libqt6core6/copyright")
endif()
foreach(notice IN LISTS zfe_debian_notices)
  string(REPLACE "=" ";" notice "${notice}")
  list(GET notice 0 name)
  list(GET notice 1 source)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "${source} is missing: the zip could not name a licence "
                        "(scripts/install-deps.sh installs the package)")
  endif()
  configure_file("${source}" "${zfe_licences}/${name}" COPYONLY)
endforeach()

if(TARGET ZandorelFE)
  # Qt is under the GNU LGPL version 3, which refers to the GPL: both texts, and
  # where Qt's source is and how to link the program with another Qt.
  foreach(text LGPL-3.0-only.txt GPL-3.0-only.txt)
    file(GLOB found "${ZFE_QT_MINGW_PREFIX}/licenses/${text}"
                    "${ZFE_QT_MINGW_PREFIX}/licenses/LICENSE.${text}")
    if(NOT found)
      message(FATAL_ERROR "Qt's ${text} is missing from ${ZFE_QT_MINGW_PREFIX}/licenses")
    endif()
    list(GET found 0 found)
    configure_file("${found}" "${zfe_licences}/Qt-${text}" COPYONLY)
  endforeach()
  string(REGEX MATCH "qt-mingw-([^-/]+)-" _ "${ZFE_QT_MINGW_PREFIX}")
  set(ZFE_QT_VERSION "${CMAKE_MATCH_1}")
  execute_process(COMMAND dpkg-query -W -f=\${Version} qt6-base-dev-tools
                  OUTPUT_VARIABLE ZFE_QT_DEBIAN_VERSION ERROR_QUIET)
  configure_file("${CMAKE_CURRENT_LIST_DIR}/windows-qt-notice.txt.in"
                 "${zfe_licences}/Qt-NOTICE.txt" @ONLY NEWLINE_STYLE CRLF)

  # Qt's own Italian translation, for "Sì"/"No" and "Apri"/"Salva"; the program
  # looks for it in translations/ beside itself and does without it.
  set(zfe_qt_italian /usr/share/qt6/translations/qtbase_it.qm)
  if(EXISTS "${zfe_qt_italian}")
    install(FILES "${zfe_qt_italian}" DESTINATION translations)
  endif()
endif()
install(DIRECTORY "${zfe_licences}/" DESTINATION licences)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZandorelFE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
