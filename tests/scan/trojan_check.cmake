set(check_sources ${CMAKE_CURRENT_LIST_DIR}/trojan_check_test.cpp)
scx_add_wine_test(scan_check_tests SOURCES ${check_sources})
# File access and the actions once more as a Windows 9x program.
scx_register_wine_tests(scan_check_tests scan_check_tests.win98 WINVER win98 SOURCES ${check_sources})
