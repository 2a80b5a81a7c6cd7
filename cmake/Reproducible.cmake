# The shipped programs carry no link time stamp, so two builds of one commit
# give the same bytes (tools/release.sh checks it).
foreach(program scourix scourix-cli)
    if(TARGET ${program})
        target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp)
    endif()
endforeach()
