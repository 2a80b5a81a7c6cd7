set(dir ${CMAKE_CURRENT_LIST_DIR})
# The listings with a stand-in walker (fake_walker.cpp takes the engine
# walker's place at link time). They end processes: nothing else runs meanwhile.
set(psapi_sources ${dir}/psapi_scan_test.cpp ${dir}/fake_walker.cpp ${CMAKE_SOURCE_DIR}/tests/platform/test_service.cpp)
scx_add_wine_test(scan_psapi_tests SOURCES ${psapi_sources} LIBS psapi WINVER winxp SERIAL TIMEOUT 200)
foreach(ver win2k win7)
    scx_register_wine_tests(scan_psapi_tests scan_psapi_tests.${ver} WINVER ${ver}
        SOURCES ${dir}/psapi_scan_test.cpp)
endforeach()
scx_mark_serial(scan_psapi_tests)

set(toolhelp_sources ${dir}/toolhelp_scan_test.cpp ${dir}/fake_walker.cpp)
scx_add_wine_test(scan_toolhelp_tests SOURCES ${toolhelp_sources} WINVER win98 SERIAL TIMEOUT 120)

set(stage_sources ${dir}/memory_stage_test.cpp ${dir}/fake_walker.cpp ${dir}/fake_restart.cpp)
scx_add_wine_test(scan_memory_stage_tests SOURCES ${stage_sources} SERIAL TIMEOUT 300)
