# The pictures, drawn on the offscreen platform.
velmora_add_test_suite(assets SHARDS 2
  WIDGET_TESTS digits_test.cpp lamps_buttons_test.cpp picture_lists_test.cpp windows_icon_test.cpp
  WIDGET_LIBS velmora_assets)
