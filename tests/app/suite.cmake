# Widget tests of the Qt shell, on the offscreen platform.
if(TARGET velmora_qt)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  velmora_add_test_suite(app LIBS velmora_qt Qt6::Test)
endif()
