set(dir ${CMAKE_CURRENT_LIST_DIR})

# Restarts happen only in throwaway copies of the prefix, driven from the
# host by restart_e2e.sh; the helper's cases are never run by ctest directly.
add_executable(platform_restart_e2e_helper ${dir}/restart_e2e_helper.cpp)
target_link_libraries(platform_restart_e2e_helper PRIVATE scx_testsupport scx_test_main)

foreach(scenario removal-winxp removal-win98 removal-exact-names restart restart-no-privilege)
    add_test(NAME platform_restart_e2e.${scenario}
        COMMAND bash ${dir}/restart_e2e.sh ${CMAKE_BINARY_DIR} ${SCX_TOOLS_DIR}
                $<TARGET_FILE:platform_restart_e2e_helper> ${scenario})
    set_tests_properties(platform_restart_e2e.${scenario} PROPERTIES
        FIXTURES_REQUIRED wine TIMEOUT 300)
endforeach()
