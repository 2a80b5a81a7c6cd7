# The auto-start walks enumerate shared keys by index; a value another test
# adds meanwhile would shift them, so these run alone.
set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(scan_autostart_tests SERIAL
    SOURCES ${dir}/autostart_test.cpp ${dir}/registry_sandbox.cpp)
