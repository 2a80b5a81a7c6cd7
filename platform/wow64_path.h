// A 32-bit program on 64-bit Windows sees SysWOW64 under the name System32.
// Windows carries out removals at restart without that redirection, so a
// file met under the System32 name must be named by its real folder there,
// or the restart would remove the 64-bit file of the same name.
#pragma once

#include <string>

enum class Wow64Mapping {
    Unchanged, // not in the redirected folder: the name is already the real one
    Mapped,    // *real holds the name in the real folder
    Unknown,   // in the redirected folder, but its real folder is not known
};

// The decision on names alone. systemDir is the folder a 32-bit process
// knows as its system folder, wow64Dir (null or empty: unknown) where it
// really lies. Folders Windows does not redirect (catroot, catroot2,
// driverstore, drivers\etc, logfiles, spool) keep their names.
Wow64Mapping MapRedirectedSystemPath(const char* path, const char* systemDir, const char* wow64Dir,
                                     std::string* real);

// The name under which a removal at restart must ask for path: the path
// itself, except for a 32-bit process under WOW64 (both tests are bound at
// run time). Returns false when path is in the redirected folder but the
// real one cannot be learnt: then no removal may be asked for.
bool RealPathForRestart(const char* path, std::string* real);
