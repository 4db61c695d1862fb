# Windows, x86_64: the MinGW-w64 toolchain of mingw-w64.cmake.
set(VELMORA_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
