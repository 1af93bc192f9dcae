# Read by cpack for each generator. CPackDeb puts a summary that differs
# from its default before every component's description; the .debs have
# a synopsis each, as the first line of their descriptions.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")
endif()
