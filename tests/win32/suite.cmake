# The Win32 serial back end's own checks, for the Windows build only:
# scripts/test-win32 runs them under Wine against the simulated unit, an
# echoing peer and a unit that hangs up, each on a pty mapped to a COM port.
if(WIN32)
  # The back end on its own: the check compiles serial_win32.cpp in to reach
  # its inner parts, beside the port list it uses.
  add_executable(serial_win32_check win32/serial_win32_check.cpp
    ${PROJECT_SOURCE_DIR}/platform/serial_errors_win32.cpp ${PROJECT_SOURCE_DIR}/platform/serial_writer_win32.cpp
    ${PROJECT_SOURCE_DIR}/platform/serial_status.cpp ${PROJECT_SOURCE_DIR}/platform/port_list.cpp
    ${PROJECT_SOURCE_DIR}/platform/port_list_win32.cpp)
  target_link_libraries(serial_win32_check PRIVATE Threads::Threads)
  # The program's link code (the link and schedule layers) on that back end.
  add_executable(link_win32_check win32/link_win32_check.cpp)
  target_link_libraries(link_win32_check PRIVATE velmora_link velmora_schedule velmora_platform Threads::Threads)
  foreach(check serial_win32_check link_win32_check)
    # They name the files they include from the top of the tree.
    target_include_directories(${check} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${check} PRIVATE ${VELMORA_WARNINGS})
  endforeach()
endif()
