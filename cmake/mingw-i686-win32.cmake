# The 32-bit shipped programs: the runtime's win32 thread model.
set(SCX_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
