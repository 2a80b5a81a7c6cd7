set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(ui_framework_tests
    SOURCES ${dir}/framework_test.cpp ${dir}/framework_test.rc
    LIBS scx_framework)
