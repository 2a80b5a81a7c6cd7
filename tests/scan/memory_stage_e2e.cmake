set(dir ${CMAKE_CURRENT_LIST_DIR})
# The memory stage with the real engine. Every process of the prefix is
# listed and infected ones are ended: nothing else runs meanwhile.
scx_add_wine_test(scan_memory_stage_e2e_tests
    SOURCES ${dir}/memory_stage_e2e_test.cpp
    WINVER winxp SERIAL TIMEOUT 300)
foreach(ver win2k win7 win98)
    scx_register_wine_tests(scan_memory_stage_e2e_tests scan_memory_stage_e2e_tests.${ver} WINVER ${ver}
        SOURCES ${dir}/memory_stage_e2e_test.cpp)
endforeach()
scx_mark_serial(scan_memory_stage_e2e_tests)
