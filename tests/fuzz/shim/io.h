// Native stand-in for the runtime's low-level descriptor calls, so that the
// PE reading builds off Windows for fuzzing. Only what the engine uses.
#pragma once
#include <fcntl.h>
#include <unistd.h>

inline long _lseek(int fd, long offset, int origin) { return long(lseek(fd, off_t(offset), origin)); }
inline int _read(int fd, void* buffer, unsigned count) { return int(read(fd, buffer, count)); }
inline int _close(int fd) { return close(fd); }
