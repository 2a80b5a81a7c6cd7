# The console program run on the planted awkward names, each program it
# carries (cli_embed.rc comes from cli.cmake) as a parameter.
scx_add_wine_test(app_cli_awkward_names_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_awkward_names_test.cpp
    NO_RESOURCES SERIAL TIMEOUT 600)
target_sources(app_cli_awkward_names_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/cli_embed.rc)
add_dependencies(app_cli_awkward_names_tests scx_shipped)
