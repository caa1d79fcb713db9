# Run by CPack after the packages are built (CPACK_POST_BUILD_SCRIPTS).
# CPack 3.25 writes the -dbgsym package's md5sums with the absolute paths of its
# staging folder, so dpkg --verify and lintian find none of the listed files;
# it also leaves out the doc link Debian's debug packages carry. Both mended here.
foreach(pkg IN LISTS CPACK_PACKAGE_FILES)
  if(NOT pkg MATCHES "-dbgsym_.*\\.ddeb$")
    continue()
  endif()
  set(tree "${pkg}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${pkg}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND sh -c
      "find usr -type f | LC_ALL=C sort | xargs md5sum > DEBIAN/md5sums && mkdir -p usr/share/doc && ln -sfn corvane-diagnostics usr/share/doc/corvane-diagnostics-dbgsym"
    WORKING_DIRECTORY "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build "${tree}" "${pkg}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
