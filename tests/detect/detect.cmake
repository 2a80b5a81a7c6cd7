# The file-format code, each part on its own data: no file system, process or
# registry state of the machine is read.
set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(detect_table_tests SOURCES ${dir}/detection_table_test.cpp)
scx_add_wine_test(detect_mail_match_tests SOURCES ${dir}/mail_match_test.cpp)
# Performance-data and counter-title parsing, name rules: no process touched.
scx_add_wine_test(detect_perf_data_tests SOURCES ${dir}/perf_data_test.cpp)
scx_add_wine_test(detect_wininit_edit_tests SOURCES ${dir}/wininit_edit_test.cpp)
scx_add_wine_test(detect_rename_rule_tests SOURCES ${dir}/rename_rule_test.cpp)
scx_add_wine_test(detect_utf8_tests SOURCES ${dir}/utf8_test.cpp)
