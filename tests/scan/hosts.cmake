# These rewrite the prefix's real hosts files (and put them back), so
# nothing else may run meanwhile. Run as NT and again as Windows 98.
set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(scan_hosts_tests SERIAL SOURCES ${dir}/hosts_test.cpp)
scx_register_wine_tests(scan_hosts_tests scan_hosts_tests.win98 WINVER win98
    SOURCES ${dir}/hosts_test.cpp)
scx_mark_serial(scan_hosts_tests)
