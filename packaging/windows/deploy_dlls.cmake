# Run at install time (packaging/windows/CMakeLists.txt): copies every DLL
# velmora.exe and its plugins import, and what those import in turn, from
# the Qt kit and the MinGW runtime folders to the program's folder, and
# strips them. Windows' own DLLs stay out; an import found nowhere stops
# the install, since the program would not start without it.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in an install script
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${VELMORA_OBJDUMP})
# Windows names are matched without case, and CMake looks the imports up in
# lower case: the folders are searched through links named so, the first
# folder's DLL winning, as on the program's own search path.
set(lower "${VELMORA_WORK_DIR}/dll-names")
file(REMOVE_RECURSE "${lower}")
file(MAKE_DIRECTORY "${lower}")
foreach(dir ${VELMORA_DLL_DIRS})
  file(GLOB dlls "${dir}/*.dll")
  foreach(dll ${dlls})
    get_filename_component(name "${dll}" NAME)
    string(TOLOWER "${name}" name)
    if(NOT EXISTS "${lower}/${name}")
      file(CREATE_LINK "${dll}" "${lower}/${name}" SYMBOLIC)
    endif()
  endforeach()
endforeach()
file(GET_RUNTIME_DEPENDENCIES
  EXECUTABLES ${VELMORA_PROGRAM}
  MODULES ${VELMORA_PLUGINS}
  DIRECTORIES "${lower}"
  RESOLVED_DEPENDENCIES_VAR found
  UNRESOLVED_DEPENDENCIES_VAR missing
  # The API sets that stand for the system's own DLLs; those themselves
  # are found in none of the folders (the list below).
  PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-")
set(system_dlls advapi32 authz bcrypt comctl32 comdlg32 crypt32 d3d11 d3d12 d3d9 dwmapi dwrite dxgi gdi32
    imm32 kernel32 mpr msvcrt netapi32 ole32 oleaut32 opengl32 setupapi shcore shell32 shlwapi user32
    userenv uxtheme version winmm ws2_32 wtsapi32 ntdll rpcrt4 uiautomationcore d2d1 cfgmgr32 dnsapi
    iphlpapi secur32 winspool)
set(not_found "")
foreach(dll ${missing})
  string(TOLOWER "${dll}" lower)
  string(REGEX REPLACE "\\.dll$" "" stem "${lower}")
  if(NOT stem IN_LIST system_dlls)
    list(APPEND not_found ${dll})
  endif()
endforeach()
if(not_found)
  message(FATAL_ERROR "velmora.exe needs DLLs found in none of ${VELMORA_DLL_DIRS}: ${not_found}")
endif()
foreach(link ${found})
  file(REAL_PATH "${link}" dll)
  get_filename_component(name "${dll}" NAME)
  message(STATUS "Deploying: ${name}")
  file(COPY "${dll}" DESTINATION "${CMAKE_INSTALL_PREFIX}")
  execute_process(COMMAND ${VELMORA_STRIP} --strip-unneeded ${CMAKE_INSTALL_PREFIX}/${name} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot strip ${name}")
  endif()
endforeach()
# The plugins came from the kit as built: stripped like the rest.
foreach(plugin ${VELMORA_PLUGINS})
  execute_process(COMMAND ${VELMORA_STRIP} --strip-unneeded ${plugin})
endforeach()
