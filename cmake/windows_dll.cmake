# vimbo.dll: named by the .def file, exports checked, version resource, and
# no mingw runtime DLL needed beside it.
enable_language(RC)
set_target_properties(vimbo_shared PROPERTIES PREFIX "" OUTPUT_NAME vimbo)
target_sources(vimbo_shared PRIVATE
  ${PROJECT_SOURCE_DIR}/src/api/vimbo.def
  ${PROJECT_SOURCE_DIR}/src/api/vimbo.rc)
target_link_options(vimbo_shared PRIVATE -static -static-libgcc -static-libstdc++)

# The build fails when the export table holds anything but the two functions.
find_program(VIMBO_OBJDUMP NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump objdump REQUIRED)
add_custom_command(TARGET vimbo_shared POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VIMBO_OBJDUMP} -DLIBRARY=$<TARGET_FILE:vimbo_shared>
          -DVERSION=${VIMBO_VERSION_TEXT}
          -P ${PROJECT_SOURCE_DIR}/cmake/check_dll.cmake
  VERBATIM)
