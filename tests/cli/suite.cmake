# velmoractl: argument parsing, output, the trace, and the session against
# a scripted port and the simulated unit in this process (label cli).
velmora_add_test_suite(cli LIBS velmora_cli velmora_sim velmora_test_support POSIX_TESTS shell_test.cpp session_test.cpp metrics_http_test.cpp
  through_owner_test.cpp headless_owner_test.cpp)

# Tests that start velmoractl (and, for pdudaemon, the lab daemon) as
# processes: labels cli_process and pdudaemon, so the sanitizer stages can
# take or leave them deliberately (scripts/test leaves pdudaemon to the
# main build: the daemon is Python, nothing of ours to sanitize).
if(TARGET test_cli AND TARGET velmoractl AND NOT WIN32)
  foreach(kind process pdudaemon)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${kind}/*.cpp)
    if(NOT sources)
      continue()
    endif()
    set(target test_cli_${kind})
    add_executable(${target} ${sources})
    velmora_target_defaults(${target})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/.. ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(${target} PRIVATE velmora_cli velmora_sim velmora_test_support
      GTest::gtest GTest::gtest_main Threads::Threads)
    target_compile_definitions(${target} PRIVATE
      VELMORACTL_PROGRAM="$<TARGET_FILE:velmoractl>"
      VELMORA_PDUDAEMON_CONF="${PROJECT_SOURCE_DIR}/cli/pdudaemon/pdudaemon.conf")
    add_dependencies(${target} velmoractl)
    add_dependencies(test_cli ${target})
    # One label each (gtest_discover_tests keeps one value): cli_process,
    # which "-L cli" also matches, and pdudaemon.
    if(kind STREQUAL "process")
      set(label cli_process)
    else()
      set(label pdudaemon)
    endif()
    gtest_discover_tests(${target} TEST_PREFIX "cli_${kind}." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${label})
  endforeach()
endif()
