# The engines users already run, driving the simulated unit: Debian's
# powermand with the checked-in device script (through "velmoractl shell"
# on the port, and through "velmoractl serve"), and NUT's powerman-pdu
# driver with upsd over that powermand, both with the shipped examples.
# Labels powerman and nut.
if(TARGET velmoractl AND TARGET velmora-sim)
  set(engines ${CMAKE_CURRENT_LIST_DIR})
  set(script ${PROJECT_SOURCE_DIR}/cli/powerman/velmora.dev)
  foreach(mode direct serve)
    add_test(NAME powerman.PmDrivesTheUnit_${mode}
      COMMAND ${engines}/powerman_test.sh $<TARGET_FILE:velmoractl> $<TARGET_FILE:velmora-sim> ${script} ${mode})
    set_tests_properties(powerman.PmDrivesTheUnit_${mode} PROPERTIES LABELS powerman TIMEOUT 300)
  endforeach()
  add_test(NAME nut.UpscAndUpscmdThroughPowermand
    COMMAND ${engines}/nut_test.sh $<TARGET_FILE:velmoractl> $<TARGET_FILE:velmora-sim> ${script} ${PROJECT_SOURCE_DIR}/cli)
  set_tests_properties(nut.UpscAndUpscmdThroughPowermand PROPERTIES LABELS nut TIMEOUT 300)
  add_test(NAME systemd.ServeUnitVerifies
    COMMAND ${engines}/systemd_unit_test.sh $<TARGET_FILE:velmoractl> ${PROJECT_SOURCE_DIR}/cli/systemd/velmoractl-serve.service)
  set_tests_properties(systemd.ServeUnitVerifies PROPERTIES LABELS systemd TIMEOUT 60)
endif()
if(TARGET velmoractl AND TARGET velmora-sim)
  add_test(NAME prometheus.MetricsPassPromtoolAndHttp
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/metrics_test.sh $<TARGET_FILE:velmoractl> $<TARGET_FILE:velmora-sim> ${PROJECT_SOURCE_DIR}/cli/prometheus)
  set_tests_properties(prometheus.MetricsPassPromtoolAndHttp PROPERTIES LABELS prometheus TIMEOUT 120)
endif()
