# What `cmake --install` puts where, and the Debian package CPack builds from it.
# Included once, at the end of the top-level CMakeLists.txt, so every target exists.
include(GNUInstallDirs)

set(CORVANE_APP_ID com.corvane.Diagnostics)
set(CORVANE_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

set(corvane_programs corvane-decode)
foreach(t corvane-diagnostics corvane-monitor corvane-radiosim)
  if(TARGET ${t})
list(APPEND corvane_programs ${t})
  endif()
endforeach()
install(TARGETS ${corvane_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(t IN LISTS corvane_programs)
  install(FILES ${CORVANE_PACKAGING}/man/${t}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

if(TARGET corvane-diagnostics)
  install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.desktop
      DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.metainfo.xml
      DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CORVANE_PACKAGING}/icons/${CORVANE_APP_ID}.svg
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
install(FILES ${CORVANE_PACKAGING}/icons/${CORVANE_APP_ID}-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${CORVANE_APP_ID}.png)
  endforeach()
endif()

# The monitor's service and its example files, when the monitor is built.
if(TARGET corvane-monitor)
  if(EXISTS ${CORVANE_PACKAGING}/corvane-monitor.service)
install(FILES ${CORVANE_PACKAGING}/corvane-monitor.service DESTINATION lib/systemd/system)
  endif()
  file(GLOB corvane_monitor_examples ${CORVANE_PACKAGING}/prometheus/* ${CORVANE_PACKAGING}/examples/*)
  if(corvane_monitor_examples)
install(FILES ${corvane_monitor_examples} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  endif()
endif()

# ---- Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-diagnostics)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane support <support@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Diagnostics for spread-spectrum radio-modem networks")
set(CPACK_PACKAGE_DESCRIPTION
"Polls the radios of a radio-modem network through the master radio over a serial port,\n TCP, UDP or a dial-up modem and shows their signal, noise, temperature, voltage and\n setup. Includes a simulated radio network and a capture decoder.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; the font is looked up at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, passwd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "init-system-helpers")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
${CORVANE_PACKAGING}/debian/postinst ${CORVANE_PACKAGING}/debian/prerm ${CORVANE_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# Packs this build and checks the unpacked package (a quick test, no root needed).
if(TARGET corvane-diagnostics AND NOT CORVANE_SANITIZE)
  add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
endif()
