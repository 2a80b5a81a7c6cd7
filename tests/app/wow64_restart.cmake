# The 32-bit console program on 64-bit Windows schedules a locked file under
# its real SysWOW64 name. A case of the 32-bit set: the 64-bit suite runs the
# 32-bit program it is given in SCX_SCOURIX_CLI, and the case skips with its
# reason where none is given or the host cannot start 32-bit programs.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()
scx_add_wine_test(app_wow64_restart_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/wow64_restart_test.cpp
    NO_RESOURCES SERIAL)
add_test(NAME app_wow64_restart_tests.i386
    COMMAND app_wow64_restart_tests --gtest_also_run_disabled_tests
            --gtest_filter=Wow64Restart.DISABLED_LockedSystem32FileIsScheduledBySysWow64Name)
set_tests_properties(app_wow64_restart_tests.i386 PROPERTIES
    FIXTURES_REQUIRED wine
    RUN_SERIAL TRUE
    TIMEOUT 900
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
    ENVIRONMENT "SCX_BUILD_DIR=${CMAKE_BINARY_DIR}")
