# The shipped program against a bare walk of generated trees; run with
# bench/run-walk-bench.sh.
add_executable(walk_bench ${CMAKE_CURRENT_LIST_DIR}/walk_bench.cpp)
target_link_libraries(walk_bench PRIVATE scx_ui scx_appdrive scx_testsupport psapi)
