# Shared by the toolchain files, which set TOOLCHAIN_PREFIX and
# CMAKE_SYSTEM_PROCESSOR first, and SCX_THREAD_MODEL where it is not posix.
#   posix  the test build: GoogleTest needs std::mutex, and the posix runtime
#          imports functions of XP and Vista (GetTickCount64 and others)
#   win32  the shipped programs: a runtime that imports only what the oldest
#          supported Windows exports
set(CMAKE_SYSTEM_NAME Windows)
if(NOT SCX_THREAD_MODEL)
    set(SCX_THREAD_MODEL posix)
endif()
set(SCX_THREAD_MODEL ${SCX_THREAD_MODEL} CACHE STRING "MinGW-w64 thread model: posix (tests) or win32 (shipped programs)")

set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-${SCX_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-${SCX_THREAD_MODEL})
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_AR           ${TOOLCHAIN_PREFIX}-gcc-ar-${SCX_THREAD_MODEL} CACHE FILEPATH "")
set(CMAKE_RANLIB       ${TOOLCHAIN_PREFIX}-gcc-ranlib-${SCX_THREAD_MODEL} CACHE FILEPATH "")
set(SCX_OBJDUMP        ${TOOLCHAIN_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Only Windows' own DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs every test program under Wine in the project's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
