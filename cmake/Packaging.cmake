# SPDX-License-Identifier: GPL-3.0-or-later
# Installation into a prefix and the Debian package built from it with CPack.
include(GNUInstallDirs)

install(TARGETS talphex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET talphex-decoder)
  install(TARGETS talphex-decoder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/data/sample-pass.kss
        DESTINATION ${CMAKE_INSTALL_DATADIR}/talphex)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-cli.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-decoder.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-kiss-capture.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-decoder.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.talphex.decoder.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talphex-decoder)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TALPHEX ground station developers")
set(CPACK_PACKAGE_CONTACT "TALPHEX ground station developers <talphex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Telemetry decoder for the TALPHEX small satellite")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6charts6 (>= 6.4), libqt6svg6 (>= 6.4), qt6-qpa-plugins")
include(CPack)
