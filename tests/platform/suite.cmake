velmora_add_test_suite(platform LIBS velmora_platform velmora_test_support
  WIDGET_TESTS exceptions_test.cpp qt_dialogs_test.cpp qt_dispatcher_test.cpp qt_timer_test.cpp
  WIDGET_LIBS velmora_platform_qt)
