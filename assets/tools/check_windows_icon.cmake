# cmake -DTOOL=velmora-render-assets -DCOMMITTED=velmora.ico -DFRESH=out.ico -P check_windows_icon.cmake
# Fails when the committed Windows icon is not what the artwork draws now.
execute_process(COMMAND ${TOOL} --ico ${FRESH} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "velmora-render-assets --ico failed (${rc})")
endif()
file(SHA256 ${FRESH} fresh)
file(SHA256 ${COMMITTED} committed)
if(NOT fresh STREQUAL committed)
  message(FATAL_ERROR "${COMMITTED} is out of date with the icon's artwork: "
                      "velmora-render-assets --ico ${COMMITTED}")
endif()
