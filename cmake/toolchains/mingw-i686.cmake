# The shipped 32-bit build. It runs nowhere here (this machine has no 32-bit
# wine): it is built and its DLL inspected.
set(VIMBO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
