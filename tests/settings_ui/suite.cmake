# The Configuration dialog and the About box, on the offscreen platform.
velmora_add_test_suite(settings_ui LIBS velmora_settings_ui)
