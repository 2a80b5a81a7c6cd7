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
        add_library(scx_runtime_floor OBJECT ${CMAKE_SOURCE_DIR}/runtime/cpu_floor.cpp
            ${CMAKE_SOURCE_DIR}/runtime/format.cpp)
        target_include_directories(scx_runtime_floor PRIVATE ${CMAKE_SOURCE_DIR})
        # The start-up objects every program links, with their few P6
        # instructions rewritten; crt2.o is found first through -B.
        execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=crt2.o
            OUTPUT_VARIABLE crt2 OUTPUT_STRIP_TRAILING_WHITESPACE)
        execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libmingw32.a
            OUTPUT_VARIABLE libmingw32 OUTPUT_STRIP_TRAILING_WHITESPACE)
        set(floor_dir ${CMAKE_BINARY_DIR}/runtime-floor)
        set(floor_objects ${floor_dir}/pesect.o ${floor_dir}/pseudo-reloc.o)
        add_custom_command(OUTPUT ${floor_dir}/crt2.o ${floor_objects}
            COMMAND python3 ${CMAKE_SOURCE_DIR}/runtime/rewrite_objects.py ${crt2} ${libmingw32} ${floor_dir}
            DEPENDS ${CMAKE_SOURCE_DIR}/runtime/rewrite_objects.py ${crt2} ${libmingw32}
            COMMENT "Start-up objects for the CPU floor")
        add_custom_target(scx_runtime_floor_objects DEPENDS ${floor_dir}/crt2.o ${floor_objects})
        set_source_files_properties(${floor_objects} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
        foreach(program scourix scourix-cli)
            target_sources(${program} PRIVATE $<TARGET_OBJECTS:scx_runtime_floor> ${floor_objects})
            target_link_options(${program} PRIVATE -B${floor_dir}/)
            add_dependencies(${program} scx_runtime_floor_objects)
            set_property(TARGET ${program} APPEND PROPERTY LINK_DEPENDS ${floor_dir}/crt2.o)
        endforeach()
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
