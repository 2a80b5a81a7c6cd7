# The product is built as layers, each a folder and a static library, that
# link only downward:
#   1 detect     file formats and record matching; no Windows header
#   2 platform   Win32 services without scan state: processes, services,
#                registry values, removal at restart, the restart itself
#   3 scan       the scan: walk, file check, memory stage, repair, its state
#                and the front-end interface it reports through
#   3 framework  the small dialog framework; it knows no scan
#   4 ui, cli    the two front ends (app is the dialog program's entry)
# A library may link only libraries of a lower layer; scx_check_layers()
# refuses anything else when the project is configured.

# scx_layer_library(NAME LAYER [EXCLUDE file...]): the library of one folder,
# from its sources (a program's entry file stays out).
function(scx_layer_library name layer)
    cmake_parse_arguments(L "" "" "EXCLUDE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(excluded IN LISTS L_EXCLUDE)
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
    endforeach()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    set_target_properties(${name} PROPERTIES SCX_LAYER ${layer})
    set_property(GLOBAL APPEND PROPERTY SCX_LAYER_LIBRARIES ${name})
endfunction()

function(scx_check_layers)
    get_property(libraries GLOBAL PROPERTY SCX_LAYER_LIBRARIES)
    foreach(library IN LISTS libraries)
        get_target_property(layer ${library} SCX_LAYER)
        set(linked "")
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(listed ${library} ${property})
            if(listed)
                list(APPEND linked ${listed})
            endif()
        endforeach()
        foreach(dependency IN LISTS linked)
            if(NOT TARGET ${dependency})
                continue()
            endif()
            get_target_property(dependency_layer ${dependency} SCX_LAYER)
            if(dependency_layer AND NOT dependency_layer LESS layer)
                message(FATAL_ERROR "${library} (layer ${layer}) links ${dependency} (layer "
                    "${dependency_layer}): a library links only layers below its own")
            endif()
        endforeach()
    endforeach()
endfunction()
