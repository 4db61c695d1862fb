# The upgrade and the clock synchronisation with fixed clocks, manual timers
# and scripted dialogs, against the simulated unit's model.
velmora_add_test_suite(maintenance LIBS velmora_maintenance velmora_sim)
