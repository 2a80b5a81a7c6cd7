set(awkward_sources ${CMAKE_CURRENT_LIST_DIR}/awkward_names_test.cpp)
scx_add_wine_test(scan_awkward_names_tests SOURCES ${awkward_sources})
# The ANSI path of Windows 9x, names outside the code page by their short names.
scx_register_wine_tests(scan_awkward_names_tests scan_awkward_names_tests.win98 WINVER win98
    SOURCES ${awkward_sources})
