# The transfer loop test feeds the simulated unit and reads its answers back
# through the link's line processing.
velmora_add_test_suite(schedule
  LIBS velmora_schedule velmora_schedule_logic velmora_link velmora_sim
  WIDGET_TESTS set_timer_dialog_test.cpp
  WIDGET_LIBS velmora_schedule_ui)
