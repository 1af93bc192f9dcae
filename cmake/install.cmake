# What `cmake --install` puts where, and the packages CPack makes of it.
include(CMakePackageConfigHelpers)

# Three components, as Debian splits a library: the shared library
# (libvimbo1), what building against it needs (libvimbo-dev), the command
# (vimbo).
install(TARGETS vimbo_shared EXPORT vimboTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS vimbo_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT command)
# The C++ engine, for front ends of their own: its layers as static
# libraries (in a directory of their own) and its headers, in libvimbo-dev.
install(TARGETS vimbo_engine vimbo_batch vimbo_project vimbo_rewrite vimbo_analysis vimbo_platform
  EXPORT vimboEngineTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}/vimbo COMPONENT development)
install(DIRECTORY include/vimbo/engine DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vimbo COMPONENT development)
install(FILES include/vimbo/vimbo.h ${VIMBO_GENERATED_INCLUDE}/vimbo/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vimbo COMPONENT development)
if(WIN32)
  install(FILES doc/vimbo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT command)
  # From the .def file, MSVC's lib.exe makes an import library of its own.
  install(FILES src/api/vimbo.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
else()
  # Debian's way: the manual and the changelog compressed (gzip -n: the
  # same bytes in every build), a copyright file for each package, shell
  # completion where bash, zsh and fish look for it.
  find_program(VIMBO_GZIP gzip REQUIRED)
  set(packaging ${PROJECT_SOURCE_DIR}/packaging)
  set(gzipped ${PROJECT_BINARY_DIR}/gzipped)
  add_custom_command(OUTPUT ${gzipped}/vimbo.1.gz ${gzipped}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gzipped}
    COMMAND ${VIMBO_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/doc/vimbo.1 > ${gzipped}/vimbo.1.gz
    COMMAND ${VIMBO_GZIP} -9n -c ${packaging}/changelog > ${gzipped}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/vimbo.1 ${packaging}/changelog VERBATIM)
  add_custom_target(vimbo_gzipped_docs ALL DEPENDS ${gzipped}/vimbo.1.gz ${gzipped}/changelog.gz)
  install(FILES ${gzipped}/vimbo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT command)
  install(FILES ${packaging}/completions/vimbo.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME vimbo COMPONENT command)
  install(FILES ${packaging}/completions/_vimbo DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
    COMPONENT command)
  install(FILES ${packaging}/completions/vimbo.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d
    COMPONENT command)
  set(components runtime development command)
  set(package_names libvimbo1 libvimbo-dev vimbo)
  foreach(component package IN ZIP_LISTS components package_names)
    install(FILES ${packaging}/copyright ${gzipped}/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

# find_package(vimbo) gives vimbo::vimbo, vimbo::cli and vimbo_add_check(),
# wherever the tree was installed.
set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vimbo)
install(EXPORT vimboTargets NAMESPACE vimbo:: DESTINATION ${config_dir} COMPONENT development)
install(EXPORT vimboEngineTargets NAMESPACE vimbo:: DESTINATION ${config_dir} COMPONENT development)
configure_package_config_file(cmake/vimboConfig.cmake.in ${PROJECT_BINARY_DIR}/vimboConfig.cmake
  INSTALL_DESTINATION ${config_dir} PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vimboConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vimboConfig.cmake ${PROJECT_BINARY_DIR}/vimboConfigVersion.cmake
  cmake/vimboCheck.cmake DESTINATION ${config_dir} COMPONENT development)

# The prefix is found from where the .pc lies (lib/pkgconfig, or
# lib/<triplet>/pkgconfig under /usr), so a moved installation still works.
file(RELATIVE_PATH VIMBO_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" VIMBO_PC_TO_PREFIX "${VIMBO_PC_TO_PREFIX}")
configure_file(cmake/vimbo.pc.in ${PROJECT_BINARY_DIR}/vimbo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vimbo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# A .deb on Linux, a .zip of the Windows build.
set(CPACK_PACKAGE_NAME vimbo)
set(CPACK_PACKAGE_VENDOR "vimbo")
set(CPACK_PACKAGE_CONTACT "vimbo developers <maintainers@vimbo.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime development command)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The dependencies are what the programs are linked with, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Each package's description begins with a synopsis of its own; the
  # common summary (the .zip's) is kept out of the .debs by this file.
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_options.cmake)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvimbo1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "external include guards for C and C++ sources - shared library
The shared library behind vimbo: two C functions that wrap an include
directive in #ifndef GUARD / #endif when GUARD controls its whole header,
for a line or for a whole file.")
  # Programs built against 1.0 run with any later libvimbo1.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/triggers ${PROJECT_SOURCE_DIR}/packaging/symbols)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvimbo-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  # The engine's static libraries are linked with what they were built with.
  # libgit2 is loaded, not linked: dpkg-shlibdeps can't see it.
  if(VIMBO_LIBGIT2_PACKAGE)
    set(vimbo_libgit2_depends ", ${VIMBO_LIBGIT2_PACKAGE}")
  endif()
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libvimbo1 (= ${PROJECT_VERSION}), nlohmann-json3-dev${vimbo_libgit2_depends}")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "external include guards for C and C++ sources - development files
The header, the CMake package (find_package(vimbo)) and the pkg-config
file for building against libvimbo; and the C++ engine
(find_package(vimbo COMPONENTS engine), vimbo::engine) for front ends
that run batches of their own.")
  set(CPACK_DEBIAN_COMMAND_PACKAGE_NAME vimbo)
  set(CPACK_DEBIAN_COMMAND_PACKAGE_SECTION devel)
  if(VIMBO_LIBGIT2_PACKAGE)
    set(CPACK_DEBIAN_COMMAND_PACKAGE_DEPENDS "${VIMBO_LIBGIT2_PACKAGE}")
  endif()
  set(CPACK_DEBIAN_COMMAND_PACKAGE_SUGGESTS git)  # for skipping the files git ignores
  set(CPACK_DEBIAN_COMMAND_DESCRIPTION "command that adds external include guards to C and C++ sources
For an include line vimbo finds the header, reads the macro that guards
it, checks that the macro controls the whole header, and wraps the line
in #ifndef GUARD / #endif. It rewrites single files or whole trees,
checks and previews without changing anything, and verifies a rewrite
against a build's own compile_commands.json.")
  # Stripped as Debian strips; then what CPack cannot write itself is put
  # in by a script run on the .debs it made: Multi-Arch, and no ldconfig in
  # maintainer scripts.
  set(CPACK_VIMBO_STRIP ${CMAKE_STRIP})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_strip.cmake)
  set(CPACK_VIMBO_MULTIARCH_SAME libvimbo1 libvimbo-dev)
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_finish.cmake)
endif()
include(CPack)
