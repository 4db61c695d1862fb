# What the package brings beside the programs: velmoractl's manual page
# against its --help. Label packaging.
if(TARGET velmoractl)
  add_test(NAME packaging.VelmoractlManualPageMatchesHelp
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/manual_page_test.sh $<TARGET_FILE:velmoractl>
            ${PROJECT_SOURCE_DIR}/packaging/man/velmoractl.1.md)
  set_tests_properties(packaging.VelmoractlManualPageMatchesHelp PROPERTIES LABELS packaging TIMEOUT 30)
endif()
