set(dir ${CMAKE_CURRENT_LIST_DIR})

# Each method on the Windows version that selects it. These end processes
# (only the test's own samples, by unique names), so nothing runs alongside.
scx_add_wine_test(platform_kill_toolhelp_tests SOURCES ${dir}/kill_toolhelp_test.cpp
    WINVER win98 SERIAL TIMEOUT 300)

scx_add_wine_test(platform_kill_psapi_tests SOURCES ${dir}/kill_psapi_test.cpp WINVER winxp SERIAL)
scx_register_wine_tests(platform_kill_psapi_tests platform_kill_psapi_tests.win2k WINVER win2k
    SOURCES ${dir}/kill_psapi_test.cpp)

scx_add_wine_test(platform_kill_perfdata_tests SOURCES ${dir}/kill_perfdata_test.cpp SERIAL)
scx_register_wine_tests(platform_kill_perfdata_tests platform_kill_perfdata_tests.nt40 WINVER nt40
    SOURCES ${dir}/kill_perfdata_test.cpp)

scx_mark_serial(platform_kill_psapi_tests)
scx_mark_serial(platform_kill_perfdata_tests)
