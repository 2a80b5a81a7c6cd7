set(dir ${CMAKE_CURRENT_LIST_DIR})
set(harness_sources ${dir}/version_emulation_test.cpp ${dir}/sample_writer_test.cpp)
scx_add_wine_test(foundation_harness_tests SOURCES ${harness_sources})
# The version check again, with the whole program run as other versions.
foreach(ver win98 winxp)
    scx_register_wine_tests(foundation_harness_tests foundation_harness_tests.${ver} WINVER ${ver}
        SOURCES ${dir}/version_emulation_test.cpp)
endforeach()
