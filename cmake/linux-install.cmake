# What an installation on Linux adds to the program folder: the two programs on
# PATH, the diff tool's manual page, and the Debian package that holds it all
# (cpack -G DEB from a build). Included from the top-level CMakeLists.txt, after
# the targets.

# <prefix>/bin/zandorelfe and <prefix>/bin/zandorel are relative links into the
# program folder, so the installed tree can be moved or unpacked anywhere. The
# window finds its own folder through the link: Qt takes the program's path
# from /proc/self/exe, where links are resolved.
set(zfe_links "")
if(TARGET ZandorelFE)
  list(APPEND zfe_links "zandorelfe=ZandorelFE")
endif()
list(APPEND zfe_links "zandorel=zdrl/zandorel")
foreach(link IN LISTS zfe_links)
  string(REPLACE "=" ";" link "${link}")
  list(GET link 0 name)
  list(GET link 1 target)
  file(RELATIVE_PATH relative /prefix/${CMAKE_INSTALL_BINDIR}
       /prefix/${ZFE_INSTALL_PROGRAM_DIR}/${target})
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    message(STATUS \"Installing: \${bin}/${name} -> ${relative}\")
    file(CREATE_LINK \"${relative}\" \"\${bin}/${name}\" SYMBOLIC)
  ")
endforeach()

# zandorel.1, made from the tool's own --help and --version output each time
# the tool is built (cmake/zandorel-man.cmake).
set(ZFE_MAN_PAGE ${CMAKE_BINARY_DIR}/man/zandorel.1)
add_custom_command(
  OUTPUT ${ZFE_MAN_PAGE} ${ZFE_MAN_PAGE}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:zandorel> -DOUTPUT=${ZFE_MAN_PAGE}
          -P ${PROJECT_SOURCE_DIR}/cmake/zandorel-man.cmake
  DEPENDS zandorel ${PROJECT_SOURCE_DIR}/cmake/zandorel-man.cmake
  COMMENT "Writing the manual page zandorel.1 from zandorel --help"
  VERBATIM)
add_custom_target(zandorel_man ALL DEPENDS ${ZFE_MAN_PAGE} ${ZFE_MAN_PAGE}.gz)
install(FILES ${ZFE_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package's copyright record (/usr/share/doc/zandorelfe/copyright) in
# Debian's machine-readable form, holding the licence's whole text: each line
# of LICENSE indented by one blank, an empty line written as " .".
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" ZFE_LICENCE_TEXT)
string(REGEX REPLACE "[ \t]+\n" "\n" ZFE_LICENCE_TEXT "${ZFE_LICENCE_TEXT}")
string(REGEX REPLACE "\n+$" "" ZFE_LICENCE_TEXT "${ZFE_LICENCE_TEXT}")
string(REPLACE "\n" "\n " ZFE_LICENCE_TEXT " ${ZFE_LICENCE_TEXT}")
# Twice: one pass leaves every other line of a run of empty lines.
foreach(pass 1 2)
  string(REPLACE "\n \n" "\n .\n" ZFE_LICENCE_TEXT "${ZFE_LICENCE_TEXT}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian-copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zandorelfe)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zandorelfe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZandorelFE developers <zandorelfe@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front end for MAME dat files: diff dats and dats from emulators")
set(CPACK_PACKAGE_DESCRIPTION
    "ZandorelFE keeps a library of MAME dat files, makes diff dats of two of them\n"
    "with its diff tool zandorel, and makes dats from MAME executables.\n"
    "Every user gets a library of their own under ~/.local/share/ZandorelFE.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's pictures are SVG: Qt loads them through the plugins of
# libqt6svg6, which no program links, so the linked libraries do not name it.
if(TARGET ZandorelFE)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
endif()
# Qt's Italian standard buttons; the program does without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
# The install scripts (the desktop entry's program path, the links) then see
# the prefix the package installs to, with DESTDIR pointing into the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
