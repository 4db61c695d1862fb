# The command line, and the whole program on the offscreen platform.
velmora_add_test_suite(app LIBS velmora_command_line
  WIDGET_TESTS application_test.cpp end_to_end_test.cpp switching_end_to_end_test.cpp
               schedule_end_to_end_test.cpp maintenance_end_to_end_test.cpp program_process_test.cpp
               shared_port_end_to_end_test.cpp current_history_end_to_end_test.cpp
               outlet_names_end_to_end_test.cpp
  WIDGET_LIBS velmora_app)
# The process test starts the built program itself.
if(TARGET test_app AND TARGET velmora)
  add_dependencies(test_app velmora)
  target_compile_definitions(test_app PRIVATE VELMORA_PROGRAM="$<TARGET_FILE:velmora>")
endif()
# The window serving other programs: velmoractl talks to it.
if(TARGET test_app AND TARGET velmoractl)
  add_dependencies(test_app velmoractl)
  target_compile_definitions(test_app PRIVATE VELMORACTL_PROGRAM="$<TARGET_FILE:velmoractl>")
endif()
