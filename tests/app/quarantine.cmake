set(dir ${CMAKE_CURRENT_LIST_DIR})

# The console program's quarantine (/B, /RESTORE, /LIST), run as a child like
# app_cli_tests, plus its byte formats in process. The program rides inside
# the test program as a resource.
set(quarantine_cli_exe ${SCX_SHIPPED_CLI})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/quarantine_embed.rc "1 RCDATA \"${quarantine_cli_exe}\"\n")
scx_add_wine_test(app_quarantine_tests SOURCES ${dir}/quarantine_test.cpp LIBS scx_cli NO_RESOURCES SERIAL TIMEOUT 300)
target_sources(app_quarantine_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/quarantine_embed.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/quarantine_embed.rc APPEND PROPERTY OBJECT_DEPENDS ${quarantine_cli_exe})
add_dependencies(app_quarantine_tests scx_shipped)
