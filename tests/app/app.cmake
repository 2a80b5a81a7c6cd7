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
