# The refused delete may end processes by name and schedule removals at the
# next start of Windows: nothing else runs meanwhile.
set(delete_refused_sources ${CMAKE_CURRENT_LIST_DIR}/delete_refused_test.cpp)
scx_add_wine_test(scan_delete_refused_tests SOURCES ${delete_refused_sources} SERIAL)
foreach(ver win98 winxp)
    scx_register_wine_tests(scan_delete_refused_tests scan_delete_refused_tests.${ver}
        WINVER ${ver} SOURCES ${delete_refused_sources})
endforeach()
scx_mark_serial(scan_delete_refused_tests)
