# Test programs are Windows programs: ctest starts them through tools/wine-run.sh
# (the cross-compiling emulator) in the build folder's own Wine prefix.
include(GoogleTest)

set(SCX_TOOLS_DIR ${CMAKE_SOURCE_DIR}/tools)

# scx_add_wine_test(NAME SOURCES ... [LIBS ...] [WINVER v] [SERIAL] [NO_RESOURCES] [TIMEOUT s])
# Builds a GoogleTest program and registers each TEST as its own ctest test.
# The program's resources (dialog templates, pictures) are linked in, since
# the engine's questions open the skinned message box; NO_RESOURCES leaves
# them out (for tests that bring resources of their own or test their absence).
#   WINVER  run the whole program as that Windows version (Wine AppDefaults)
#   SERIAL  nothing else runs meanwhile (whole-drive scans, process lists)
function(scx_add_wine_test name)
    cmake_parse_arguments(T "SERIAL;NO_RESOURCES" "WINVER;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(NOT T_NO_RESOURCES)
        target_sources(${name} PRIVATE $<TARGET_OBJECTS:scx_res>)
    endif()
    target_link_libraries(${name} PRIVATE scx_testsupport ${T_LIBS} scx_test_main)
    scx_register_wine_tests(${name} ${name} SOURCES ${T_SOURCES}
        ${T_SERIAL_FLAG} WINVER "${T_WINVER}" TIMEOUT "${T_TIMEOUT}")
    if(T_SERIAL)
        scx_mark_serial(${name})
    endif()
endfunction()

# Registers the tests of an existing test program once more, under another
# prefix, e.g. to run the same cases as another Windows version.
function(scx_register_wine_tests target prefix)
    cmake_parse_arguments(R "" "WINVER;TIMEOUT" "SOURCES" ${ARGN})
    if(NOT R_TIMEOUT)
        set(R_TIMEOUT 300)
    endif()
    scx_add_gtest_cases(${target} "${prefix}." tests ${R_SOURCES})
    set(env "SCX_BUILD_DIR=${CMAKE_BINARY_DIR}")
    if(R_WINVER)
        list(APPEND env "SCX_WINVER=${R_WINVER}")
    endif()
    set_tests_properties(${tests} PROPERTIES
        FIXTURES_REQUIRED wine
        SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
        TIMEOUT ${R_TIMEOUT}
        ENVIRONMENT "${env}")
    set_property(GLOBAL APPEND PROPERTY SCX_TESTS_OF_${target} ${tests})
endfunction()

# Registers each TEST, TEST_F and TEST_P of the sources as its own ctest test
# (found in the source text, so listing them needs no Wine). DISABLED_ cases
# are left out: they are scenarios that host-side scripts run in a copy of
# the prefix, and registering them would only leave tests that never run.
function(scx_add_gtest_cases target prefix out_list)
    set(found "")
    set(name_regex ".*\\( *([A-Za-z_0-9]+) *, *([A-Za-z_0-9]+) *\\).*")
    foreach(source IN LISTS ARGN)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
        file(READ "${source}" contents)
        string(REGEX MATCHALL "TEST_?[FP]? *\\(([A-Za-z_0-9 ,]+)\\)" hits "${contents}")
        foreach(hit IN LISTS hits)
            string(REGEX MATCH "^TEST_?[FP]?" kind "${hit}")
            if(kind STREQUAL "TEST_P")
                string(REGEX REPLACE "${name_regex}" "*/\\1.\\2/*" case "${hit}")
            else()
                string(REGEX REPLACE "${name_regex}" "\\1.\\2" case "${hit}")
            endif()
            if(case MATCHES "(^|\\.|/)DISABLED_")
                continue()
            endif()
            add_test(NAME ${prefix}${case} COMMAND ${target} --gtest_filter=${case})
            list(APPEND found ${prefix}${case})
        endforeach()
    endforeach()
    set(${out_list} ${found} PARENT_SCOPE)
endfunction()

function(scx_mark_serial target)
    get_property(tests GLOBAL PROPERTY SCX_TESTS_OF_${target})
    set_tests_properties(${tests} PROPERTIES RUN_SERIAL TRUE)
endfunction()

# scx_add_fault_test(NAME HELPER SCENARIO)
# A scenario of tests/support/faults.sh: the helper's DISABLED_ cases run in a
# throwaway copy of the prefix, with Wine holding no Unix privilege.
function(scx_add_fault_test name helper scenario)
    add_test(NAME ${name}
        COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/faults.sh ${CMAKE_BINARY_DIR} ${SCX_TOOLS_DIR}
                $<TARGET_FILE:${helper}> ${scenario})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 400)
endfunction()
