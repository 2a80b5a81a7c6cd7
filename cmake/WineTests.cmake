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
    target_link_libraries(${name} PRIVATE scx_testsupport ${T_LIBS} GTest::gtest_main)
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
    gtest_add_tests(TARGET ${target} SOURCES ${R_SOURCES}
        TEST_PREFIX "${prefix}." TEST_LIST tests)
    set(env "SCX_BUILD_DIR=${CMAKE_BINARY_DIR}")
    if(R_WINVER)
        list(APPEND env "SCX_WINVER=${R_WINVER}")
    endif()
    set_tests_properties(${tests} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT ${R_TIMEOUT}
        ENVIRONMENT "${env}")
    set_property(GLOBAL APPEND PROPERTY SCX_TESTS_OF_${target} ${tests})
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
