set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(platform_service_stop_tests
    SOURCES ${dir}/service_stop_test.cpp ${dir}/test_service.cpp
    TIMEOUT 200)
