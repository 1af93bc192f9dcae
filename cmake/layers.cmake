# Warnings for vimbo's own targets only: a parent project that adds vimbo
# with add_subdirectory keeps its own flags. -Werror is the presets' choice.
option(VIMBO_WERROR "Treat warnings as errors in vimbo's own targets" OFF)
function(vimbo_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${VIMBO_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow $<$<BOOL:${VIMBO_WERROR}>:-Werror>)
  endif()
endfunction()

# A layer sees its own folder and the folders below it, nothing else: its
# include directory holds links to just those, so a header of a layer above
# is not found and the build fails where the include table is broken.
#   vimbo_layer(TARGET SEES folder...)
function(vimbo_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "SEES")
  set(view ${PROJECT_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(folder IN LISTS layer_SEES)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE ${view})
  vimbo_warnings(${target})
endfunction()
