set(dir ${CMAKE_CURRENT_LIST_DIR})
# The names a 32-bit program on 64-bit Windows hands to the removal at
# restart. Its requests go to the system's pending deletions, shared by
# every program, so nothing runs alongside. The 64-bit build skips them.
scx_add_wine_test(platform_wow64_path_tests SOURCES ${dir}/wow64_path_test.cpp
    LIBS scx_platform WINVER winxp SERIAL)
