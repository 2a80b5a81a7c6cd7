scx_add_wine_test(scan_walker_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/walker_test.cpp)
