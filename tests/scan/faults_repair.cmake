# Auto-start keys without access and a full disk, each in a throwaway copy of
# the prefix driven by tests/support/faults.sh; the helper's cases are never
# run by ctest directly.
add_executable(scan_faults_repair_helper ${CMAKE_CURRENT_LIST_DIR}/faults_registry_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/faults_disk_test.cpp ${CMAKE_CURRENT_LIST_DIR}/registry_sandbox.cpp)
target_sources(scan_faults_repair_helper PRIVATE $<TARGET_OBJECTS:scx_res>)
target_link_libraries(scan_faults_repair_helper PRIVATE scx_testsupport scx_test_main)
scx_add_fault_test(scan_faults.registry scan_faults_repair_helper registry)
scx_add_fault_test(scan_faults.disk-full scan_faults_repair_helper disk-full)
