# What `cmake --install` puts where, and the Debian package CPack builds from it.
# Included once, at the end of the top-level CMakeLists.txt, so every target exists.
include(GNUInstallDirs)

set(CORVANE_APP_ID com.corvane.Diagnostics)
set(CORVANE_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

# The package's name, not the CMake project's, names the doc folder.
set(CORVANE_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane-diagnostics)

set(corvane_programs corvane-decode)
foreach(t corvane-diagnostics corvane-monitor corvane-radiosim)
  if(TARGET ${t})
    list(APPEND corvane_programs ${t})
  endif()
endforeach()
install(TARGETS ${corvane_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages and the changelog go out compressed the way Debian does it (-n: no
# name or time stamp, so a rebuild gives the same bytes).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(corvane_gz_dir ${CMAKE_BINARY_DIR}/packaging)
set(corvane_gz_files)
function(corvane_gzip src out)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${corvane_gz_dir}
    COMMAND sh -c "${GZIP_PROGRAM} -9n -c '${src}' > '${out}'"
    DEPENDS ${src} VERBATIM)
  set(corvane_gz_files ${corvane_gz_files} ${out} PARENT_SCOPE)
endfunction()
foreach(t IN LISTS corvane_programs)
  corvane_gzip(${CORVANE_PACKAGING}/man/${t}.1 ${corvane_gz_dir}/${t}.1.gz)
  install(FILES ${corvane_gz_dir}/${t}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# A native package: the changelog is changelog.gz, its first entry this version.
file(STRINGS ${CORVANE_PACKAGING}/debian/changelog corvane_changelog_top LIMIT_COUNT 1)
if(NOT corvane_changelog_top MATCHES "^corvane-diagnostics \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the first entry is not version ${PROJECT_VERSION}")
endif()
corvane_gzip(${CORVANE_PACKAGING}/debian/changelog ${corvane_gz_dir}/changelog.gz)
add_custom_target(corvane_compressed_docs ALL DEPENDS ${corvane_gz_files})
install(FILES ${corvane_gz_dir}/changelog.gz ${CORVANE_PACKAGING}/debian/copyright DESTINATION ${CORVANE_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/manual/index.html DESTINATION ${CORVANE_DOCDIR}/manual)

if(TARGET corvane-diagnostics)
  install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.desktop
      DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.metainfo.xml
      DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # Network files (*.RAD) and the desktop entry that opens them.
  install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.mime.xml
      DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${CORVANE_APP_ID}.xml)
  install(FILES ${CORVANE_PACKAGING}/icons/${CORVANE_APP_ID}.svg
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${CORVANE_PACKAGING}/icons/${CORVANE_APP_ID}-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${CORVANE_APP_ID}.png)
  endforeach()
endif()

# The monitor's service, its options file and the Prometheus examples, when the
# monitor is built.
if(TARGET corvane-monitor)
  # The one-site service and the template for one instance per site.
  install(FILES ${CORVANE_PACKAGING}/corvane-monitor.service ${CORVANE_PACKAGING}/corvane-monitor@.service
      DESTINATION lib/systemd/system)
  install(FILES ${CORVANE_PACKAGING}/prometheus.yml ${CORVANE_PACKAGING}/corvane-alerts.yml
      ${CORVANE_PACKAGING}/corvane-recording.yml ${CORVANE_PACKAGING}/alertmanager-inhibit.yml
      ${CORVANE_PACKAGING}/grafana-dashboard.json DESTINATION ${CORVANE_DOCDIR}/examples)
  install(FILES ${CORVANE_PACKAGING}/corvane-monitor.yml DESTINATION ${CORVANE_DOCDIR}/examples)
  # The Modbus register map for SCADA integrators, as text and as a tag import.
  install(FILES ${CMAKE_SOURCE_DIR}/docs/MODBUS.md ${CMAKE_SOURCE_DIR}/docs/modbus-registers.csv
      DESTINATION ${CORVANE_DOCDIR})
  # /etc/default for a prefix of /usr (the package), else under the prefix
  # (~/.local/etc/default); decided at install time, when CPack's prefix is
  # known. file(INSTALL) adds DESTDIR itself.
  install(CODE "
    if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr/?\$\")
      set(corvane_etc /etc)
    else()
      set(corvane_etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
    endif()
    file(INSTALL \"${CORVANE_PACKAGING}/corvane-monitor.default\"
         DESTINATION \"\${corvane_etc}/default\" RENAME corvane-monitor)
  ")
endif()

# ---- Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-diagnostics)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane support <support@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Diagnostics for spread-spectrum radio-modem networks")
# Lines of at most 80 characters; CPack indents them for the control file.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Corvane Diagnostics polls the radios of a spread-spectrum radio-modem network"
  "through the master radio over a serial port, TCP, UDP or a dial-up modem and"
  "shows their signal, noise, good packets, frequency offset, temperature,"
  "voltage and repeater path on five screens. It reads the setup parameters of a"
  "remote radio and changes them, and writes logs, CSV files and reports."
  "."
  "Also included: corvane-monitor, the same polling without a window for"
  "unattended sites, with a systemd service and Prometheus metrics; a simulated"
  "radio network (corvane-radiosim) and a capture decoder (corvane-decode).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; the font is looked up at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# passwd: useradd for the monitor's user. deb-systemd-helper and -invoke come
# with init-system-helpers, which is essential and needs no relation.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, passwd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CORVANE_PACKAGING}/debian/postinst ${CORVANE_PACKAGING}/debian/prerm ${CORVANE_PACKAGING}/debian/postrm
  ${CORVANE_PACKAGING}/debian/conffiles)
# CPack strips the programs and puts their debug symbols into a -dbgsym .ddeb
# beside the package (/usr/lib/debug/.build-id, found by gdb and debuginfod).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/RepackDbgsym.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# The shipped units keep systemd's exposure score at 2.0 or below, when the tool is here.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(TARGET corvane-monitor AND SYSTEMD_ANALYZE)
  add_test(NAME monitor_unit_security COMMAND ${CMAKE_SOURCE_DIR}/tests/package/unit_security_test.sh
           ${CORVANE_PACKAGING}/corvane-monitor.service ${CORVANE_PACKAGING}/corvane-monitor@.service)
endif()

# Packs this build and checks the unpacked package (a quick test, no root needed).
if(TARGET corvane-diagnostics AND NOT CORVANE_SANITIZE)
  add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR}
           ${CORVANE_DEB_BUILDFLAGS})
  set_tests_properties(package PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
