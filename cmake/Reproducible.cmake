# The shipped programs carry no link time stamp, so two builds of one commit
# give the same bytes (tools/release.sh checks it). They are linked only in a
# win32 build; elsewhere the names stand for the sub-build.
foreach(program scourix scourix-cli)
    if(TARGET ${program})
        get_target_property(kind ${program} TYPE)
        if(kind STREQUAL "EXECUTABLE")
            target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp)
        endif()
    endif()
endforeach()
