scx_add_wine_test(engine_check_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/trojan_check_test.cpp)
