# The transfer tests put its commands into the link's pending-command list;
# the loop test feeds them to the simulated unit and reads its answers back
# through the link's line processing.
velmora_add_test_suite(schedule
  LIBS velmora_schedule velmora_schedule_logic velmora_link velmora_sim)
