velmora_add_test_suite(assets LIBS velmora_assets Qt6::Gui Qt6::Svg)
