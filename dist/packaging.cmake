# Install rules and the Debian packages (CPack's DEB generator), one per
# component:
#   voxa-monitor  the window, its desktop entry and icon
#   voxa-station  the headless station, its systemd units, sysusers/tmpfiles
#                 snippets, default station file and udev rule example
#   voxa-tools    voxa-convert, voxa-sim and voxa-psd
# Included last from the top CMakeLists.txt, so every program target is
# known; a program not built here (the station, the PSD tool) is simply not
# packaged. scripts/package.sh builds the packages.
include(GNUInstallDirs)

set(VOXA_DIST ${PROJECT_SOURCE_DIR}/dist)
set(VOXA_DIST_BUILD ${PROJECT_BINARY_DIR}/dist)
file(MAKE_DIRECTORY ${VOXA_DIST_BUILD})
set(VOXA_MAINTAINER "VOXA Monitor maintainers <maintainers@voxa-monitor.example>")

set(VOXA_PACKAGES)
if(TARGET voxa-monitor)
  list(APPEND VOXA_PACKAGES monitor)
endif()
if(TARGET voxa-station)
  list(APPEND VOXA_PACKAGES station)
endif()
list(APPEND VOXA_PACKAGES tools)

# Man pages and Debian changelogs are installed gzipped (-n: no name or
# time in the header, so a rebuild makes the same bytes).
set(VOXA_GZIPPED)
function(voxa_gzip source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND gzip -9nc ${source} > ${output}
                     DEPENDS ${source} VERBATIM)
  set(VOXA_GZIPPED ${VOXA_GZIPPED} ${output} PARENT_SCOPE)
endfunction()

function(voxa_man page section component)
  voxa_gzip(${VOXA_DIST}/man/${page}.${section} ${VOXA_DIST_BUILD}/${page}.${section}.gz)
  set(VOXA_GZIPPED ${VOXA_GZIPPED} PARENT_SCOPE)
  install(FILES ${VOXA_DIST_BUILD}/${page}.${section}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
          COMPONENT ${component})
endfunction()

string(TIMESTAMP VOXA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component ${VOXA_PACKAGES})
  set(PACKAGE voxa-${component})
  set(VERSION ${PROJECT_VERSION})
  set(DATE ${VOXA_CHANGELOG_DATE})
  configure_file(${VOXA_DIST}/debian/changelog.in ${VOXA_DIST_BUILD}/${PACKAGE}/changelog @ONLY)
  voxa_gzip(${VOXA_DIST_BUILD}/${PACKAGE}/changelog ${VOXA_DIST_BUILD}/${PACKAGE}/changelog.gz)
  install(FILES ${VOXA_DIST_BUILD}/${PACKAGE}/changelog.gz ${VOXA_DIST}/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PACKAGE} COMPONENT ${component})
endforeach()

if(TARGET voxa-monitor)
  install(TARGETS voxa-monitor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT monitor)
  install(FILES ${VOXA_DIST}/voxa-monitor.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications
          COMPONENT monitor)
  install(FILES ${VOXA_DIST}/icons/voxa-monitor.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT monitor)
  foreach(size 48 128)
    install(FILES ${VOXA_DIST}/icons/voxa-monitor-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME voxa-monitor.png COMPONENT monitor)
  endforeach()
  voxa_man(voxa-monitor 1 monitor)
endif()

if(TARGET voxa-station)
  install(TARGETS voxa-station RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT station)
  # The station's page (its files and the seisplotjs bundle built at build time).
  install(DIRECTORY ${VOXA_WEB_BUILD_DIR}/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/voxa/web COMPONENT station)
  # Debian 12 keeps packaged units in /lib/systemd/system and the snippets
  # in /usr/lib; the units name the program in /usr/bin.
  install(FILES ${VOXA_DIST}/systemd/voxa-station.service ${VOXA_DIST}/systemd/voxa-station@.service
          DESTINATION /lib/systemd/system COMPONENT station)
  install(FILES ${VOXA_DIST}/systemd/voxa.sysusers DESTINATION /usr/lib/sysusers.d RENAME voxa.conf
          COMPONENT station)
  install(FILES ${VOXA_DIST}/systemd/voxa.tmpfiles DESTINATION /usr/lib/tmpfiles.d RENAME voxa.conf
          COMPONENT station)
  install(FILES ${VOXA_DIST}/station.conf DESTINATION /etc/voxa COMPONENT station)
  install(FILES ${VOXA_DIST}/60-voxa.rules
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/voxa-station/examples COMPONENT station)
  voxa_man(voxa-station 1 station)
  voxa_man(voxa-station.conf 5 station)
endif()

install(TARGETS voxa-convert voxa-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
voxa_man(voxa-convert 1 tools)
voxa_man(voxa-sim 1 tools)
if(TARGET voxa-psd)
  install(TARGETS voxa-psd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  voxa_man(voxa-psd 1 tools)
endif()

add_custom_target(voxa_dist_files ALL DEPENDS ${VOXA_GZIPPED})

# The programs the packages hold, for scripts/package.sh to build.
set(VOXA_PACKAGED_PROGRAMS)
foreach(program voxa-monitor voxa-station voxa-convert voxa-sim voxa-psd)
  if(TARGET ${program})
    list(APPEND VOXA_PACKAGED_PROGRAMS ${program})
  endif()
endforeach()
string(REPLACE ";" "\n" VOXA_PACKAGED_LINES "${VOXA_PACKAGED_PROGRAMS}")
file(WRITE ${VOXA_DIST_BUILD}/packaged-programs.txt "${VOXA_PACKAGED_LINES}\n")

# --- Packages -------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VOXA_PACKAGES})
set(CPACK_PACKAGE_NAME voxa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VOXA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VOXA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries each package's programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_MONITOR_PACKAGE_NAME voxa-monitor)
set(CPACK_DEBIAN_MONITOR_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_MONITOR_DESCRIPTION "monitor for the VOXA seismic data logger\nWatches the stream of a VOXA data logger on a serial port in a window:\nthe samples, GPS time, block and timing errors, noise and dynamic range.\nIt records the stream, the error and time shift lists, and a miniSEED\narchive in the SDS layout.")

set(CPACK_DEBIAN_STATION_PACKAGE_NAME voxa-station)
set(CPACK_DEBIAN_STATION_PACKAGE_SHLIBDEPS ON)
# systemd-sysusers and systemd-tmpfiles make the user and the data directory.
set(CPACK_DEBIAN_STATION_PACKAGE_DEPENDS "systemd")
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_EXTRA
    ${VOXA_DIST}/debian/voxa-station/postinst ${VOXA_DIST}/debian/voxa-station/prerm
    ${VOXA_DIST}/debian/voxa-station/postrm ${VOXA_DIST}/debian/voxa-station/conffiles)
set(CPACK_COMPONENT_STATION_DESCRIPTION "headless recording station for the VOXA seismic data logger\nRecords a VOXA data logger without a window, as a systemd service: the\nrecordings, lists and miniSEED archive in /var/lib/voxa, a live SeedLink\nand WebSocket server, StationXML of the station and a status file. It\nwaits for the logger's port when it is unplugged.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME voxa-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "tools for VOXA seismic data logger recordings\nvoxa-convert turns VOXA recordings into a miniSEED archive in the SDS\nlayout and writes StationXML; voxa-sim simulates a VOXA on a\npseudo-terminal.")
if(TARGET voxa-psd)
  string(APPEND CPACK_COMPONENT_TOOLS_DESCRIPTION "\nvoxa-psd computes the noise spectra of an archive or a recording.")
endif()

include(CPack)
