# The whole program, driven from outside through its window.
set(app_dir ${CMAKE_CURRENT_LIST_DIR})

# Finding, pressing and reading scourix.exe's window from another process.
add_library(scx_appdrive STATIC ${app_dir}/scourix_driver.cpp)
target_link_libraries(scx_appdrive PUBLIC scx_testsupport)

# Tools of the run command (tools/run.sh): the headless driver and the
# fixture planter.
add_executable(scx_run_driver ${app_dir}/run_driver.cpp)
target_link_libraries(scx_run_driver PRIVATE scx_appdrive)
add_executable(scx_plant_samples ${app_dir}/plant_samples.cpp)
target_link_libraries(scx_plant_samples PRIVATE scx_testsupport)

# The prefix has no drive leading to the build folder, so the program under
# test is copied onto its C: before the tests run.
set(app_under_test ${CMAKE_BINARY_DIR}/wine/prefix/drive_c/scratch/app-under-test)
add_test(NAME app_install_under_test
    COMMAND sh -c "mkdir -p '${app_under_test}' && cp '${SCX_SHIPPED_GUI}' '${app_under_test}/scourix.exe'")
set_tests_properties(app_install_under_test PROPERTIES
    FIXTURES_SETUP scourix_exe FIXTURES_REQUIRED wine)

# Whole scans walk all of C: and end processes: nothing else may run meanwhile.
scx_add_wine_test(app_whole_program_tests
    SOURCES ${app_dir}/whole_program_test.cpp
    LIBS scx_appdrive
    SERIAL TIMEOUT 900)
add_dependencies(app_whole_program_tests scx_shipped)
get_property(app_tests GLOBAL PROPERTY SCX_TESTS_OF_app_whole_program_tests)
set_property(TEST ${app_tests} APPEND PROPERTY FIXTURES_REQUIRED scourix_exe)
