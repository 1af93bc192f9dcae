# Run by cpack (CPACK_POST_BUILD_SCRIPTS) on the .debs it made, for what
# CPack 3.25 cannot write itself; each .deb is unpacked and built again:
#  - "Multi-Arch: same" for the packages in CPACK_VIMBO_MULTIARCH_SAME,
#    which can then be installed for several architectures side by side;
#  - no postinst/postrm: CPack's only call ldconfig, which the ldconfig
#    trigger (packaging/triggers) does instead.
find_program(VIMBO_DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  get_filename_component(name "${deb}" NAME)
  string(REGEX REPLACE "_.*" "" package "${name}")
  set(root "${deb}.root")
  file(REMOVE_RECURSE "${root}")
  execute_process(COMMAND "${VIMBO_DPKG_DEB}" --raw-extract "${deb}" "${root}" COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(EXISTS "${root}/DEBIAN/${script}")
      file(STRINGS "${root}/DEBIAN/${script}" commands REGEX "^[^#]")
      list(FILTER commands EXCLUDE REGEX "^[ \t]*(set -e|fi|if .*configure.*|if .*remove.*|ldconfig)[ \t]*$")
      if(commands)
        message(FATAL_ERROR "${name}: ${script} does more than call ldconfig: ${commands}")
      endif()
      file(REMOVE "${root}/DEBIAN/${script}")
    endif()
  endforeach()
  if(package IN_LIST CPACK_VIMBO_MULTIARCH_SAME)
    file(READ "${root}/DEBIAN/control" control)
    string(REGEX REPLACE "(^|\n)(Architecture: [^\n]*\n)" "\\1\\2Multi-Arch: same\n" control "${control}")
    file(WRITE "${root}/DEBIAN/control" "${control}")
  endif()
  file(REMOVE "${deb}")
  execute_process(COMMAND "${VIMBO_DPKG_DEB}" --root-owner-group --build "${root}" "${deb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${root}")
endforeach()
