# File stage against a bare walk of a generated tree; run with bench/run-walk-bench.sh.
add_executable(walk_bench ${CMAKE_CURRENT_LIST_DIR}/walk_bench.cpp)
target_link_libraries(walk_bench PRIVATE scx_ui scx_testsupport)
target_link_libraries(walk_bench PRIVATE psapi)
