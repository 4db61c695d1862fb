# The real program on a real desktop: Xvfb, the openbox window manager and
# the accessibility bus, driven as a user and a screen reader would (label
# desktop; the sanitizer stages build no window and leave it out).
if(TARGET velmora AND TARGET velmora-sim)
  set(desktop ${CMAKE_CURRENT_LIST_DIR}/run_on_desktop.sh)
  add_test(NAME desktop.UpgradeOnADesktop
    COMMAND ${desktop} ${CMAKE_CURRENT_LIST_DIR}/upgrade_on_desktop.py $<TARGET_FILE:velmora> $<TARGET_FILE:velmora-sim>)
  add_test(NAME desktop.WhatAScreenReaderFinds
    COMMAND ${desktop} ${CMAKE_CURRENT_LIST_DIR}/screen_reader_on_desktop.py $<TARGET_FILE:velmora>)
  set_tests_properties(desktop.UpgradeOnADesktop desktop.WhatAScreenReaderFinds
    PROPERTIES LABELS desktop TIMEOUT 300 RUN_SERIAL TRUE)
endif()
