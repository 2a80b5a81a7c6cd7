# Fixed buffers at and past their limits, entries that change between listing
# and checking, trees too deep for a path.
scx_add_wine_test(scan_hostile_input_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_input_test.cpp)
