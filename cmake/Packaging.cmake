# SPDX-License-Identifier: GPL-3.0-or-later
# Installation into a prefix and the Debian package built from it with CPack.
include(GNUInstallDirs)

install(TARGETS talphex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET talphex-decoder)
  # The desktop program with what integrates it into the desktop.
  install(TARGETS talphex-decoder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-decoder.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-kiss-capture.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-decoder.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.talphex.decoder.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/data/sample-pass.kss
        DESTINATION ${CMAKE_INSTALL_DATADIR}/talphex)

# Man pages and the changelog are installed gzip-compressed, as Debian policy asks; "-n" leaves
# the name and time out of the header so that the same text always gives the same bytes.
set(talphex_gzipped)
foreach(file IN ITEMS talphex-cli.1 talphex-decoder.1 changelog)
  set(gzipped ${PROJECT_BINARY_DIR}/packaging/${file}.gz)
  add_custom_command(
    OUTPUT ${gzipped}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/${file} ${gzipped}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${file}
    COMMENT "Compressing ${file}"
    VERBATIM)
  list(APPEND talphex_gzipped ${gzipped})
endforeach()
add_custom_target(talphex_gzipped_docs ALL DEPENDS ${talphex_gzipped})
install(FILES ${PROJECT_BINARY_DIR}/packaging/talphex-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET talphex-decoder)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/talphex-decoder.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
set(talphex_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/talphex-decoder)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${talphex_doc_dir} RENAME changelog.Debian.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${talphex_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/talphex-decoder
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talphex-decoder)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TALPHEX ground station developers")
set(CPACK_PACKAGE_CONTACT "TALPHEX ground station developers <talphex@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://talphex.example.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Telemetry decoder for the TALPHEX small satellite")
# Lines of at most 79 characters once dpkg indents them.
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the KISS capture files that a terminal node controller wrote during
a pass of the TALPHEX small satellite, decodes its beacon and VAVE payload
frames and shows every calibrated field and status flag record by record,
with a chart of any field over the pass. The records can be exported as CSV
files and as a plain-text telemetry report.

The package holds the desktop program talphex-decoder, the command-line
decoder talphex-cli, which does the same work in batch, and a sample pass
to try them on.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
# The libraries the programs link are found by dpkg-shlibdeps; Qt loads its platform plugins at
# run time, which no link shows.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET talphex-decoder)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()
include(CPack)
