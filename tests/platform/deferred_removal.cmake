set(dir ${CMAKE_CURRENT_LIST_DIR})

# wininit.ini text and files in the test's own folders.
scx_add_wine_test(platform_wininit_tests SOURCES ${dir}/deferred_removal_test.cpp)

# The real wininit.ini of the prefix (Windows 98) and the system's pending
# deletions (XP, Windows 7): shared by every program, so nothing runs alongside.
scx_add_wine_test(platform_schedule_9x_tests SOURCES ${dir}/schedule_removal_9x_test.cpp WINVER win98 SERIAL)
scx_add_wine_test(platform_schedule_nt_tests SOURCES ${dir}/schedule_removal_nt_test.cpp WINVER winxp SERIAL)
scx_register_wine_tests(platform_schedule_nt_tests platform_schedule_nt_tests.win7 WINVER win7
    SOURCES ${dir}/schedule_removal_nt_test.cpp)
scx_mark_serial(platform_schedule_nt_tests)

# The exact-name file functions.
scx_add_wine_test(platform_long_path_tests SOURCES ${dir}/long_path_test.cpp)
