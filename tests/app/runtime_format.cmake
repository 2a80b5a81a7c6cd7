# The formatter the 32-bit shipped programs link in place of the runtime's
# (runtime/cpu_floor.cpp), held against the runtime's own in both builds.
scx_add_wine_test(app_runtime_format_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/runtime_format_test.cpp ${CMAKE_SOURCE_DIR}/runtime/format.cpp
    NO_RESOURCES)
