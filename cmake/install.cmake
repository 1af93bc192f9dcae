# What `cmake --install` puts where, and the packages CPack makes of it.
include(CMakePackageConfigHelpers)

install(TARGETS vimbo_shared EXPORT vimboTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS vimbo_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/vimbo/vimbo.h ${VIMBO_GENERATED_INCLUDE}/vimbo/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vimbo)
install(FILES doc/vimbo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(WIN32)
  # From the .def file, MSVC's lib.exe makes an import library of its own.
  install(FILES src/api/vimbo.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

# find_package(vimbo) gives vimbo::vimbo, wherever the tree was installed.
set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vimbo)
install(EXPORT vimboTargets NAMESPACE vimbo:: DESTINATION ${config_dir})
configure_package_config_file(cmake/vimboConfig.cmake.in ${PROJECT_BINARY_DIR}/vimboConfig.cmake
  INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vimboConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vimboConfig.cmake ${PROJECT_BINARY_DIR}/vimboConfigVersion.cmake
  DESTINATION ${config_dir})

# pkg-config finds the prefix from where the .pc file lies, so that an
# installation moved elsewhere (or made with --prefix) still holds together.
file(RELATIVE_PATH VIMBO_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(cmake/vimbo.pc.in ${PROJECT_BINARY_DIR}/vimbo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vimbo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# A .deb on Linux, a .zip of the Windows build.
set(CPACK_PACKAGE_NAME vimbo)
set(CPACK_PACKAGE_VENDOR "vimbo")
set(CPACK_PACKAGE_CONTACT "vimbo developers <vimbo@localhost>")
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
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The dependencies are what the programs are linked with, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS git)  # for skipping the files git ignores
endif()
include(CPack)
