# The transfer tests put its commands into the link's pending-command list.
velmora_add_test_suite(schedule LIBS velmora_schedule velmora_schedule_logic velmora_link)
