# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Installation and the Debian package: the three programs, their man pages, desktop entries and
# the icon. `cmake --install` puts them under CMAKE_INSTALL_PREFIX; `cpack` builds a .deb whose
# dependencies are the Debian runtime packages the programs need (libraries found by
# dpkg-shlibdeps, plus the Qt platform plugins and the fonts that are loaded at run time).
include(GNUInstallDirs)

set(CORVANE_PROGRAMS corvane corvane-replay corvane-demo)
foreach(program IN LISTS CORVANE_PROGRAMS)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Man pages: kept as roff sources with the version filled in at build time, then compressed.
set(man_outputs)
foreach(page IN LISTS CORVANE_PROGRAMS)
  set(source ${PROJECT_SOURCE_DIR}/man/${page}.1.in)
  set(roff ${PROJECT_BINARY_DIR}/man/${page}.1)
  configure_file(${source} ${roff} @ONLY)
  add_custom_command(OUTPUT ${roff}.gz
                     COMMAND gzip -9 -n -k -f ${roff}
                     DEPENDS ${source} ${roff}
                     COMMENT "Compressing man page ${page}.1")
  list(APPEND man_outputs ${roff}.gz)
endforeach()
add_custom_target(corvane_man ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvane.desktop
              ${PROJECT_SOURCE_DIR}/packaging/corvane-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Debian's place for the licence of a package: /usr/share/doc/<package>/copyright.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Software receiver for a direct-conversion front end on the sound card")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane shows the 48 kHz band of an I/Q front end on the sound card, demodulates CW and
SSB through fast-convolution filters with AGC, and plays the audio. corvane-replay runs the
receiver on I/Q recordings; corvane-demo runs it on a built-in synthetic band.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, fonts-dejavu-core")
include(CPack)
