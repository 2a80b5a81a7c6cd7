# The front end's say before an infected file is deleted.
scx_add_wine_test(scan_remove_veto_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/remove_veto_test.cpp)
