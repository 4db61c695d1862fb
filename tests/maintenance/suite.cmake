# The upgrade and the clock synchronisation with fixed clocks, manual timers
# and scripted dialogs, against the simulated unit's model; the Upgrade
# Process dialog and its mouse block on the offscreen platform.
velmora_add_test_suite(maintenance
  LIBS velmora_maintenance velmora_sim
  WIDGET_TESTS upgrade_dialog_test.cpp upgrade_mouse_block_test.cpp
  WIDGET_LIBS velmora_maintenance_ui)
