# A scan run starts with the memory stage over every process in the prefix.
scx_add_wine_test(scan_run_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_run_test.cpp SERIAL)
# Makes drive letters and walks every fixed drive: nothing else may run meanwhile.
scx_add_wine_test(scan_drive_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_drives_test.cpp SERIAL TIMEOUT 600)
