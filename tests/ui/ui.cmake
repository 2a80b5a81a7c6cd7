set(dir ${CMAKE_CURRENT_LIST_DIR})
scx_add_wine_test(framework_tests
    SOURCES ${dir}/framework_test.cpp ${dir}/framework_test.rc
    LIBS scx_framework NO_RESOURCES)
scx_add_wine_test(ui_shape_tests
    SOURCES ${dir}/skin_shape_test.cpp
    LIBS scx_ui)
scx_add_wine_test(ui_button_tests
    SOURCES ${dir}/buttons_test.cpp ${dir}/pixels.cpp ${dir}/buttons_test.rc
    LIBS scx_ui)
scx_add_wine_test(ui_message_tests
    SOURCES ${dir}/message_dlg_test.cpp ${dir}/pixels.cpp
    LIBS scx_ui)
scx_add_wine_test(ui_label_tests
    SOURCES ${dir}/color_label_test.cpp ${dir}/pixels.cpp ${dir}/color_label_test.rc
    LIBS scx_ui NO_RESOURCES)
scx_add_wine_test(ui_message_noresource_tests
    SOURCES ${dir}/message_noresource_test.cpp
    LIBS scx_ui NO_RESOURCES)
# The suite key lies in HKLM, where the whole-program tests set it too.
scx_add_wine_test(ui_suite_key_tests
    SOURCES ${dir}/suite_key_test.cpp
    LIBS scx_ui SERIAL)
# The real main dialog, run in process with the work area moved.
scx_add_wine_test(ui_placement_tests
    SOURCES ${dir}/placement_test.cpp
    LIBS scx_ui)
# The dialog as the scan's front end: its reports, its paced label, its
# questions and notices. One case runs a whole scan, whose memory stage
# lists every process of the prefix.
scx_add_wine_test(ui_front_end_tests
    SOURCES ${dir}/dialog_front_end_test.cpp ${dir}/capture_window.cpp ${dir}/paced_label_test.cpp
    LIBS scx_ui SERIAL)
# The dialog's scan ends the program after a memory stage that met the
# trojan, in children run as other versions.
scx_add_wine_test(ui_dialog_scan_exit_tests
    SOURCES ${dir}/dialog_scan_exit_test.cpp
    LIBS scx_ui WINVER winxp SERIAL TIMEOUT 300)
