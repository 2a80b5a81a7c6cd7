# A tree only the Unix side can make, walked under Wine; the host-side script
# builds it inside the prefix's C: drive and checks it afterwards.
add_executable(scan_hostile_tree_tests ${CMAKE_CURRENT_LIST_DIR}/hostile_tree_test.cpp)
target_link_libraries(scan_hostile_tree_tests PRIVATE scx_testsupport scx_test_main)
add_test(NAME scan_hostile_tree.WalkOfUnixMadeTree
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/hostile_tree.sh ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:scan_hostile_tree_tests>)
# It lies on C:, where whole-drive scans would meet it.
set_tests_properties(scan_hostile_tree.WalkOfUnixMadeTree PROPERTIES
    FIXTURES_REQUIRED wine RUN_SERIAL TRUE TIMEOUT 600)
