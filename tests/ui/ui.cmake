set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(ui_framework_tests
    SOURCES ${dir}/framework_test.cpp ${dir}/framework_test.rc
    LIBS scx_framework)
scx_add_wine_test(ui_shape_tests
    SOURCES ${dir}/skin_shape_test.cpp
    LIBS scx_ui)
