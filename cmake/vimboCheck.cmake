# vimbo_add_check(NAME [ARG...]): two targets that run the vimbo command
# (vimbo::cli) from the calling directory's sources:
#   NAME_check  vimbo --check ARG...  fails when some include can be wrapped
#   NAME_fix    vimbo --tree ARG...   wraps them
# With no ARG: -p ${CMAKE_BINARY_DIR}, the build's compile_commands.json
# (CMAKE_EXPORT_COMPILE_COMMANDS ON), which gives every source the build
# compiles under the calling directory, the project headers they include,
# and the include directories of each.
function(vimbo_add_check name)
  if(NOT TARGET vimbo::cli)
    message(FATAL_ERROR "vimbo_add_check(${name}): no vimbo command (vimbo::cli); install it (the vimbo package)")
  endif()
  set(arguments ${ARGN})
  if(NOT arguments)
    set(arguments -p ${CMAKE_BINARY_DIR})
    if(NOT CMAKE_EXPORT_COMPILE_COMMANDS)
      message(WARNING "vimbo_add_check(${name}): -p ${CMAKE_BINARY_DIR} needs CMAKE_EXPORT_COMPILE_COMMANDS ON")
    endif()
  endif()
  add_custom_target(${name}_check
    COMMAND vimbo::cli --check ${arguments}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    COMMENT "vimbo: checking for include lines to wrap"
    VERBATIM USES_TERMINAL)
  add_custom_target(${name}_fix
    COMMAND vimbo::cli --tree ${arguments}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    COMMENT "vimbo: wrapping include lines in external guards"
    VERBATIM USES_TERMINAL)
endfunction()
