# The port's owner serving others: the unit's view and its JSON, the
# request language, the service against the simulated unit's model with
# manual timers, the control socket with real clients, and (on Windows)
# the owner's pipe and a client of it.
velmora_add_test_suite(service LIBS velmora_service velmora_sim velmora_test_support
  POSIX_TESTS control_server_test.cpp control_server_flow_test.cpp
  WIN32_TESTS control_pipe_win32_test.cpp control_pipe_client_win32_test.cpp
  control_pipe_server_win32_test.cpp)
