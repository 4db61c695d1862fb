velmora_add_test_suite(platform LIBS velmora_platform velmora_test_support
  POSIX_TESTS posix_signals_test.cpp serial_posix_test.cpp serial_errors_test.cpp file_io_test.cpp
    port_holders_test.cpp termios_settings_test.cpp
  WIDGET_TESTS exceptions_test.cpp qt_dialogs_test.cpp qt_dispatcher_test.cpp qt_timer_test.cpp
  WIDGET_LIBS velmora_platform_qt)
