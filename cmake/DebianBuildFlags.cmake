# The distribution's hardening flags for the package build (scripts/package
# turns this on): stack protector, _FORTIFY_SOURCE, format checks, full RELRO
# and immediate binding, as dpkg-buildflags gives them to every Debian package.
# PIE is the compiler's default on Debian. Off for everyday builds, which keep
# their flags (and the sanitizer build its own).
option(CORVANE_DEB_BUILDFLAGS "Build with the flags dpkg-buildflags gives (hardening=+all)" OFF)
if(CORVANE_DEB_BUILDFLAGS)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE deb_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  # CMake has no CPPFLAGS of its own: the preprocessor flags go with the
  # compiler's, ahead of the build type's, so that -O3 of Release still wins.
  string(PREPEND CMAKE_CXX_FLAGS "${deb_CPPFLAGS} ${deb_CXXFLAGS} ")
  string(PREPEND CMAKE_EXE_LINKER_FLAGS "${deb_LDFLAGS} ")
  message(STATUS "dpkg-buildflags: ${CMAKE_CXX_FLAGS} / ${CMAKE_EXE_LINKER_FLAGS}")
endif()
