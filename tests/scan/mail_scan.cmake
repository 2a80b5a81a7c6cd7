set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(scan_mail_scan_tests SOURCES ${dir}/mail_scan_test.cpp)
