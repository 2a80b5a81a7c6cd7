# The layers hold: no product file includes a header from a layer above or
# beside its own, and the link check refuses a library that links upward.
add_test(NAME foundation_layers_includes COMMAND python3 ${SCX_TOOLS_DIR}/check-layers.py ${CMAKE_SOURCE_DIR})
set_tests_properties(foundation_layers_includes PROPERTIES TIMEOUT 60 LABELS nowine)

add_test(NAME foundation_layers_refuse_upward_link
    COMMAND ${CMAKE_COMMAND} -DSCX_SOURCE_DIR=${CMAKE_SOURCE_DIR}
        -S ${CMAKE_CURRENT_LIST_DIR}/upward_link -B ${CMAKE_CURRENT_BINARY_DIR}/upward_link)
set_tests_properties(foundation_layers_refuse_upward_link PROPERTIES TIMEOUT 60 LABELS nowine
    PASS_REGULAR_EXPRESSION "low \\(layer 1\\) links high \\(layer 3\\)")

add_test(NAME foundation_layers_refuse_upward_include
    COMMAND python3 ${SCX_TOOLS_DIR}/check-layers.py ${CMAKE_CURRENT_LIST_DIR}/upward_include)
set_tests_properties(foundation_layers_refuse_upward_include PROPERTIES TIMEOUT 60 LABELS nowine
    PASS_REGULAR_EXPRESSION "detect/takes_windows.cpp:2: detect/ includes the Windows header <windows.h>\nscan/reaches_up.cpp:2: scan/ includes ui/show_message.h\ntests/scan/uses_dialog.cpp:2: tests/scan/ includes ui/dialog_front_end.h")
