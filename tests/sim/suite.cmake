velmora_add_test_suite(sim LIBS velmora_sim POSIX_TESTS pty_simulator_test.cpp sim_program_test.cpp)
# The program tests start the built velmora-sim itself.
if(TARGET test_sim AND TARGET velmora-sim)
  add_dependencies(test_sim velmora-sim)
  target_compile_definitions(test_sim PRIVATE VELMORA_SIM_PROGRAM="$<TARGET_FILE:velmora-sim>")
endif()
