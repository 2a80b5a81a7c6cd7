scx_add_wine_test(platform_service_registry_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/service_registry_test.cpp)
