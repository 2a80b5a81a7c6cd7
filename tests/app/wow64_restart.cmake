# The 32-bit console program on 64-bit Windows schedules a locked file under
# its real SysWOW64 name. A case of the 32-bit set: the 64-bit suite runs the
# 32-bit program it is given in SCX_SCOURIX_CLI, and the case skips with its
# reason where none is given or the host cannot start 32-bit programs.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()
scx_add_wine_test(app_wow64_restart_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/wow64_restart_test.cpp
    NO_RESOURCES SERIAL)
