# Hundreds of short cases, one application object for them all: run as
# four programs instead of one a case.
velmora_add_test_suite(mainwindow SHARDS 4 LIBS velmora_mainwindow_logic velmora_test_support
  WIDGET_TESTS accessibility_test.cpp main_window_test.cpp window_with_logic_test.cpp
  WIDGET_LIBS velmora_mainwindow_ui)
