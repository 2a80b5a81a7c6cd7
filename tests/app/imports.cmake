# Every function the shipped pair imports is in tests/app/import_floor.txt and
# exported by the oldest Windows the pair is for. Read from the files, so no
# Wine (whose DLLs export everything whatever version they report).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(import_width 64)
else()
    set(import_width 32)
endif()
set(import_check python3 ${SCX_TOOLS_DIR}/check-imports.py ${SCX_OBJDUMP}
    ${CMAKE_CURRENT_LIST_DIR}/import_floor.txt ${import_width})

add_test(NAME app_imports_within_floor COMMAND ${import_check} ${SCX_SHIPPED_GUI} ${SCX_SHIPPED_CLI})
set_tests_properties(app_imports_within_floor PROPERTIES TIMEOUT 60 LABELS nowine)

# The check itself: a program of the test build, linked with the posix
# runtime, imports GetTickCount64 (Vista), which neither floor allows.
add_test(NAME app_imports_check_refuses_posix_runtime
    COMMAND ${import_check} $<TARGET_FILE:scx_plant_samples>)
set_tests_properties(app_imports_check_refuses_posix_runtime PROPERTIES TIMEOUT 60 LABELS nowine
    PASS_REGULAR_EXPRESSION "kernel32.dll GetTickCount64 \\(9x -, NT 6.0\\) is newer than the floor")
