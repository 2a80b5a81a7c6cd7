# The 32-bit shipped programs run on every CPU of the Windows they name: no
# instruction of a CPU above the 486, their runtime included. Read from the
# files with objdump, so no Wine.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
endif()
set(cpu_check python3 ${SCX_TOOLS_DIR}/check-cpu-floor.py ${SCX_OBJDUMP})

add_test(NAME app_cpu_floor_i486 COMMAND ${cpu_check} i486 ${SCX_SHIPPED_GUI} ${SCX_SHIPPED_CLI})
set_tests_properties(app_cpu_floor_i486 PROPERTIES TIMEOUT 120 LABELS nowine)

# The check itself, on a program that holds cmov and fucomip (Pentium Pro)
# and rdtsc (Pentium): the Pentium floor refuses the first two only, the 486
# floor all three.
add_executable(scx_cpu_floor_plant ${CMAKE_CURRENT_LIST_DIR}/cpu_floor_plant.cpp)
add_test(NAME app_cpu_floor_refuses_p6 COMMAND ${cpu_check} i586 $<TARGET_FILE:scx_cpu_floor_plant>)
set_tests_properties(app_cpu_floor_refuses_p6 PROPERTIES TIMEOUT 60 LABELS nowine
    PASS_REGULAR_EXPRESSION "in _ScxPlantedInstructions: cmovne [^\n]*\\(Pentium Pro or later\\)\nFAIL: [^\n]* in _ScxPlantedInstructions: fucomip [^\n]*\\(Pentium Pro or later\\)\n"
    FAIL_REGULAR_EXPRESSION "rdtsc")
add_test(NAME app_cpu_floor_486_refuses_pentium COMMAND ${cpu_check} i486 $<TARGET_FILE:scx_cpu_floor_plant>)
set_tests_properties(app_cpu_floor_486_refuses_pentium PROPERTIES TIMEOUT 60 LABELS nowine
    PASS_REGULAR_EXPRESSION "in _ScxPlantedInstructions: rdtsc +\\(Pentium\\)")
