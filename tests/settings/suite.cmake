velmora_add_test_suite(settings LIBS velmora_settings
  POSIX_TESTS settings_location_test.cpp
  WIDGET_TESTS about_box_test.cpp configuration_dialog_test.cpp detect_dialog_test.cpp
  WIDGET_LIBS velmora_settings_ui)
