set(dir ${CMAKE_CURRENT_LIST_DIR})

# Command line and exit-code rules, in process.
scx_add_wine_test(app_cli_options_tests SOURCES ${dir}/cli_options_test.cpp LIBS scx_cli NO_RESOURCES)

# The console program run as a child from outside. The program rides inside
# the test program as a resource (the prefix has no drive that leads to the
# build folder). Every run lists and may end processes: nothing else runs.
set(cli_exe ${SCX_SHIPPED_CLI})
set(cli_embed "1 RCDATA \"${cli_exe}\"\n")
# The 64-bit suite also carries the 32-bit console program, when the 32-bit
# build made it first, to show that both report the same scan.
set(SCX_PEER_CLI ${CMAKE_SOURCE_DIR}/build/cli/scourix-cli.exe CACHE FILEPATH
    "The 32-bit console program the 64-bit suite compares itself with")
set(cli_embedded ${cli_exe})
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND EXISTS ${SCX_PEER_CLI})
    string(APPEND cli_embed "2 RCDATA \"${SCX_PEER_CLI}\"\n")
    list(APPEND cli_embedded ${SCX_PEER_CLI})
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cli_embed.rc "${cli_embed}")
scx_add_wine_test(app_cli_tests SOURCES ${dir}/cli_run_test.cpp NO_RESOURCES SERIAL TIMEOUT 300)
target_sources(app_cli_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/cli_embed.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/cli_embed.rc APPEND PROPERTY OBJECT_DEPENDS ${cli_embedded})
add_dependencies(app_cli_tests scx_shipped)

# Both programs carry no link time stamp: relinking from the same objects a
# moment later gives the same bytes. (tools/release.sh --verify builds twice.)
# They are linked in the win32 sub-build.
add_test(NAME app_reproducible_link
    COMMAND ${SCX_TOOLS_DIR}/check-reproducible-link.sh ${SCX_SHIPPED_BUILD_DIR} scourix-cli scourix)
set_tests_properties(app_reproducible_link PROPERTIES TIMEOUT 120 LABELS nowine)

# Machine, format and subsystem of the shipped pair, read from their headers.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(program_width 64)
else()
    set(program_width 32)
endif()
add_test(NAME app_program_kind
    COMMAND ${SCX_TOOLS_DIR}/check-program-kind.sh ${CMAKE_OBJDUMP} ${program_width}
            ${SCX_SHIPPED_GUI} ${SCX_SHIPPED_CLI})
set_tests_properties(app_program_kind PROPERTIES TIMEOUT 60 LABELS nowine)
