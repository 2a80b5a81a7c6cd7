# The 32-bit set (ctest label i386): the shipped 32-bit programs, run by the
# 64-bit suite's test programs wherever the host can start them, natively or
# under CPU emulation (tools/wine-env.sh; about a minute per emulated start).
# A 64-bit test process starts natively; only the program under test is
# 32-bit. The build folder's prefix has its 32-bit side wherever that is
# possible (tools/wine-prefix.sh).
#
# Adding a case is one row of the table at the end:
#   scx_add_i386_case(NAME PROGRAM FILTER [RESTART] [ENV VAR=VALUE ...])
# runs the gtest cases FILTER of test program PROGRAM (a target of the 64-bit
# suite), DISABLED_ ones included, with
#   SCX_SCOURIX_EXE   the 32-bit GUI program inside the prefix
#   SCX_SCOURIX_CLI   the 32-bit console program inside the prefix
#   SCX_UNDER_TEST_BITS=32
# Cases written only for this set are DISABLED_, so that the suite's own
# registration leaves them out. RESTART runs the case in a throwaway copy of
# the prefix and restarts the copy afterwards (tests/app/i386_restart.sh).
# Each case skips with its reason where 32-bit programs cannot start.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()

set(SCX_PEER_GUI ${CMAKE_SOURCE_DIR}/build/app/scourix.exe CACHE FILEPATH
    "The 32-bit GUI program the 64-bit suite runs in its 32-bit set")
set(i386_dir ${CMAKE_BINARY_DIR}/wine/prefix/drive_c/scratch/app-under-test-i386)
set(i386_gui "C:\\scratch\\app-under-test-i386\\scourix.exe")
set(i386_cli "C:\\scratch\\app-under-test-i386\\scourix-cli.exe")

# The 32-bit pair comes from the 32-bit build (build/), made before this one;
# where it was not made, the cases skip.
add_test(NAME i386_install_under_test
    COMMAND sh -c "mkdir -p '${i386_dir}' && for p in '${SCX_PEER_GUI}' '${SCX_PEER_CLI}'; do [ ! -f \"$p\" ] || cp \"$p\" '${i386_dir}/'; done")
set_tests_properties(i386_install_under_test PROPERTIES
    FIXTURES_SETUP scourix_i386 FIXTURES_REQUIRED wine LABELS i386)

function(scx_add_i386_case name program filter)
    cmake_parse_arguments(C "RESTART" "" "ENV" ${ARGN})
    set(test i386.${name})
    if(C_RESTART)
        add_test(NAME ${test}
            COMMAND bash ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/i386_restart.sh ${CMAKE_BINARY_DIR} ${SCX_TOOLS_DIR}
                    $<TARGET_FILE:${program}> ${SCX_PEER_GUI} ${filter})
    else()
        add_test(NAME ${test}
            COMMAND ${program} --gtest_also_run_disabled_tests --gtest_filter=${filter})
    endif()
    set_tests_properties(${test} PROPERTIES
        LABELS i386
        FIXTURES_REQUIRED "wine;scourix_exe;scourix_i386"
        RUN_SERIAL TRUE
        TIMEOUT 1500
        SKIP_RETURN_CODE 77
        SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
        ENVIRONMENT "SCX_BUILD_DIR=${CMAKE_BINARY_DIR};SCX_SCOURIX_EXE=${i386_gui};SCX_SCOURIX_CLI=${i386_cli};SCX_UNDER_TEST_BITS=32;${C_ENV}")
endfunction()

# NAME                       PROGRAM                  FILTER
scx_add_i386_case(gui_idle   app_whole_program_tests  "Suite/IdleState.ControlsTitlesAndEscapeCloses/WithoutSuiteKey")
scx_add_i386_case(gui_scan   app_whole_program_tests  "AppTest.DISABLED_BothWidthsShowTheSameScan")
scx_add_i386_case(gui_win98_restart app_whole_program_tests "AppTest.DISABLED_LockedFileAsWindows98IsNamedInWininit" RESTART)
scx_add_i386_case(cli_pair   app_cli_tests            "Cli/BothWidths.DISABLED_ReportTheSameScan/*")
scx_add_i386_case(cli_wow64_restart app_wow64_restart_tests "Wow64Restart.DISABLED_LockedSystem32FileIsScheduledBySysWow64Name")
