# Every PE file Wine installs, mounted read-only and mapped as a drive by a
# host-side script in a throwaway copy of the prefix, and that copy's C:
# drive: a whole scan must detect nothing and change nothing. The copy holds
# no other test's files, so the scan may run beside other tests.
add_executable(scan_false_positive_tests ${CMAKE_CURRENT_LIST_DIR}/false_positives_test.cpp)
target_link_libraries(scan_false_positive_tests PRIVATE scx_testsupport scx_test_main)
add_test(NAME scan_false_positives.WholeScanOfCleanDrives
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/false_positives.sh ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:scan_false_positive_tests>)
set_tests_properties(scan_false_positives.WholeScanOfCleanDrives PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT 1800)

# A whole scan beside clean look-alikes of every sample.
scx_add_wine_test(scan_safety_net_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/safety_net_test.cpp SERIAL TIMEOUT 900)
