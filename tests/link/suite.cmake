velmora_add_test_suite(link LIBS velmora_link)
