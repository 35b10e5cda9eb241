# SPDX-License-Identifier: GPL-3.0-or-later
# Installation into a prefix and the two Debian packages built from it with CPack: talphex-cli
# (the command-line decoder, which needs only the C and C++ run-time libraries, for headless
# stations) and talphex-decoder (the window and what integrates it into the desktop).
include(GNUInstallDirs)

# A package's man page, changelog and copyright go into its own doc folder.
function(talphex_install_docs component package)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} RENAME changelog.Debian.gz
          COMPONENT ${component})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/${package}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${package}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# The compiler's version note (.comment) says nothing at run time; Debian's packages leave it
# out, and so does an installed program here.
function(talphex_install_program target component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\"
                COMMAND_ERROR_IS_FATAL ANY)"
          COMPONENT ${component})
endfunction()

talphex_install_program(talphex-cli cli)
install(FILES ${PROJECT_SOURCE_DIR}/data/sample-pass.kss ${PROJECT_SOURCE_DIR}/data/limits.example.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/talphex COMPONENT cli)
talphex_install_docs(cli talphex-cli)
if(TARGET talphex-decoder)
  talphex_install_program(talphex-decoder decoder)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-decoder.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT decoder)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-kiss-capture.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT decoder)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/talphex-decoder.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT decoder)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.talphex.decoder.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT decoder)
  talphex_install_docs(decoder talphex-decoder)
endif()

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

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET talphex-decoder)
  list(APPEND CPACK_COMPONENTS_ALL decoder)
endif()
set(CPACK_PACKAGE_NAME talphex-decoder)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TALPHEX ground station developers")
set(CPACK_PACKAGE_CONTACT "TALPHEX ground station developers <talphex@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_SOURCE talphex-decoder)
# The libraries the programs link are found by dpkg-shlibdeps; Qt loads its platform plugins at
# run time, which no link shows.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME talphex-cli)
set(CPACK_DEBIAN_DECODER_PACKAGE_NAME talphex-decoder)
set(CPACK_DEBIAN_DECODER_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_DECODER_PACKAGE_SUGGESTS talphex-cli)
# The first line is the summary; the rest at most 79 characters a line once dpkg indents them.
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "command-line telemetry decoder for the TALPHEX small satellite
Reads the KISS capture files that a terminal node controller wrote during
a pass of the TALPHEX small satellite, or the frames a soundmodem serves
over KISS TCP as they arrive, decodes its beacon and VAVE payload frames
and writes every calibrated field and status flag as CSV, as a plain-text
telemetry report or as files for analysis tools.

The package holds talphex-cli, which needs no display, and a sample pass
to try it on; the desktop program is in the package talphex-decoder.")
set(CPACK_DEBIAN_DECODER_DESCRIPTION
    "telemetry decoder window for the TALPHEX small satellite
Reads the KISS capture files that a terminal node controller wrote during
a pass of the TALPHEX small satellite, or decodes live from a TNC, decodes
its beacon and VAVE payload frames and shows every calibrated field and
status flag record by record, with a chart of any field over the pass. The
records can be exported as CSV files and as a plain-text telemetry report.

The command-line decoder and the sample pass are in the package
talphex-cli.")
# Two packages of one commit are the same bytes: file dates come from that commit.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/packaging/cpack_project_config.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
     "# Written by cmake/Packaging.cmake.\n"
     "include(${PROJECT_SOURCE_DIR}/cmake/SourceDateEpoch.cmake)\n"
     "talphex_set_source_date_epoch(${PROJECT_SOURCE_DIR})\n")
include(CPack)
