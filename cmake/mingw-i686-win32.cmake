# The 32-bit shipped programs: the runtime's win32 thread model.
set(SCX_THREAD_MODEL win32)
# Windows 95 and 98 ran on 486 and Pentium machines: no instruction of a later
# CPU (cmov, fcomi, fcmov...: P6 and up; cpuid, rdtsc: Pentium). Checked by
# tools/check-cpu-floor.py (tests/app/cpu_floor.cmake). Without exceptions the runtime's
# unwinder, built for P6, is not linked (the code throws nothing; a failed
# allocation ends the program, as an uncaught bad_alloc did).
# runtime/cpu_floor.cpp replaces the few runtime parts the programs still need.
# The flags follow from SCX_CPU_FLOOR in the top-level list file rather than
# from *_FLAGS_INIT, which reach only a build folder's first configure: a
# folder made before a change here must not keep building P6 code.
set(SCX_CPU_FLOOR i486)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
