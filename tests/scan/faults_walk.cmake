# Walks without privilege, in a throwaway copy of the prefix driven by
# tests/support/faults.sh; the helper's cases are never run by ctest directly.
add_executable(scan_faults_walk_helper ${CMAKE_CURRENT_LIST_DIR}/faults_walk_test.cpp)
target_sources(scan_faults_walk_helper PRIVATE $<TARGET_OBJECTS:scx_res>)
target_link_libraries(scan_faults_walk_helper PRIVATE scx_testsupport scx_test_main)
scx_add_fault_test(scan_faults.walk scan_faults_walk_helper walk)
