# A process that cannot be opened, in a throwaway copy of the prefix driven by
# tests/support/faults.sh; the helper's cases are never run by ctest directly.
add_executable(memscan_faults_process_helper ${CMAKE_CURRENT_LIST_DIR}/faults_process_test.cpp)
target_sources(memscan_faults_process_helper PRIVATE $<TARGET_OBJECTS:scx_res>)
target_link_libraries(memscan_faults_process_helper PRIVATE scx_testsupport scx_test_main)
scx_add_fault_test(memscan_faults.process-nt memscan_faults_process_helper process-nt)
scx_add_fault_test(memscan_faults.process-9x memscan_faults_process_helper process-9x)
