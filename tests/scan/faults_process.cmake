# A process that cannot be opened, in a throwaway copy of the prefix driven by
# tests/support/faults.sh; the helper's cases are never run by ctest directly.
add_executable(scan_faults_process_helper ${CMAKE_CURRENT_LIST_DIR}/faults_process_test.cpp)
target_sources(scan_faults_process_helper PRIVATE $<TARGET_OBJECTS:scx_res>)
target_link_libraries(scan_faults_process_helper PRIVATE scx_testsupport scx_test_main)
scx_add_fault_test(scan_faults.process-nt scan_faults_process_helper process-nt)
scx_add_fault_test(scan_faults.process-9x scan_faults_process_helper process-9x)
