# Cross-building the Qt-free layers and velmoractl for Windows with
# Debian's MinGW-w64 (POSIX threads model, for std::thread). Included by
# mingw-w64-<arch>.cmake after it set VELMORA_MINGW_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VELMORA_MINGW_ARCH})
set(CMAKE_C_COMPILER ${VELMORA_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs that run on a machine without the MinGW runtime DLLs (and under
# Wine without a path to them). The window shares the runtime DLLs with the
# Qt kit it is built against (one libstdc++ in the process), so a build with
# Qt links them as DLLs and ships them beside the program; velmoractl links
# them statically in every build (cli/CMakeLists.txt).
if(DEFINED VELMORA_WITH_QT AND NOT VELMORA_WITH_QT)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()
