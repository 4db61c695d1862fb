velmora_add_test_suite(sim LIBS velmora_sim)
