# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the .debs,
# after CPack's own strip: what Debian's dh_strip takes out besides, the
# .comment and .note sections, and the static libraries' debugging
# information (dpkg-buildflags compiles with -g).
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 8 HEX)
  if(magic STREQUAL "213c617263683e0a")  # !<arch>
    set(options --strip-debug --enable-deterministic-archives)
  elseif(magic MATCHES "^7f454c46")  # ELF
    if(file MATCHES "\\.so(\\.[0-9]+)*$")
      set(options --strip-unneeded)
    else()
      set(options)
    endif()
  else()
    continue()
  endif()
  execute_process(COMMAND "${CPACK_VIMBO_STRIP}" --remove-section=.comment --remove-section=.note ${options} "${file}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
