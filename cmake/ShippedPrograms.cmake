# The shipped programs scourix(64).exe and scourix-cli(64).exe.
# A win32 build (the release, and the sub-build below) links them itself. The
# test build keeps the posix runtime for GoogleTest, whose imports no longer
# load on the Windows versions the programs are for, so it builds them in a
# win32 sub-build of the same sources (<build>/shipped) that writes them to
# <build>/app and <build>/cli, where the tests and tools/run.sh expect them.
# The two runtimes never meet in one link.

if(SCX_THREAD_MODEL STREQUAL "win32")
    add_subdirectory(app)
    add_subdirectory(cli)
    if(SCX_CPU_FLOOR)
        # Linked as objects, so they stand in for the runtime's own whatever
        # the order of the libraries.
        add_library(scx_runtime_floor OBJECT ${CMAKE_SOURCE_DIR}/runtime/cpu_floor.cpp)
        target_sources(scourix PRIVATE $<TARGET_OBJECTS:scx_runtime_floor>)
        target_sources(scourix-cli PRIVATE $<TARGET_OBJECTS:scx_runtime_floor>)
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set_target_properties(scourix PROPERTIES OUTPUT_NAME scourix64)
        set_target_properties(scourix-cli PROPERTIES OUTPUT_NAME scourix-cli64)
    endif()
    if(SCX_SHIPPED_OUTPUT_DIR)
        set_target_properties(scourix PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SCX_SHIPPED_OUTPUT_DIR}/app)
        set_target_properties(scourix-cli PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SCX_SHIPPED_OUTPUT_DIR}/cli)
    endif()
    return()
endif()

# Only the console program's library, which the option tests link.
add_subdirectory(cli)

include(ExternalProject)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(SCX_SHIPPED_SUFFIX 64)
    set(shipped_toolchain ${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64-win32.cmake)
else()
    set(SCX_SHIPPED_SUFFIX "")
    set(shipped_toolchain ${CMAKE_SOURCE_DIR}/cmake/mingw-i686-win32.cmake)
endif()
set(SCX_SHIPPED_BUILD_DIR ${CMAKE_BINARY_DIR}/shipped)
set(SCX_SHIPPED_GUI ${CMAKE_BINARY_DIR}/app/scourix${SCX_SHIPPED_SUFFIX}.exe)
set(SCX_SHIPPED_CLI ${CMAKE_BINARY_DIR}/cli/scourix-cli${SCX_SHIPPED_SUFFIX}.exe)

ExternalProject_Add(scx_shipped
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${SCX_SHIPPED_BUILD_DIR}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${shipped_toolchain}
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        -DSCX_SHIPPED_OUTPUT_DIR=${CMAKE_BINARY_DIR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${SCX_SHIPPED_BUILD_DIR} --parallel 2 --target scourix scourix-cli
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS ${SCX_SHIPPED_GUI} ${SCX_SHIPPED_CLI}
    USES_TERMINAL_BUILD TRUE)

# The names the win32 build gives them, so `--target scourix` works in either.
add_custom_target(scourix DEPENDS scx_shipped)
add_custom_target(scourix-cli DEPENDS scx_shipped)
