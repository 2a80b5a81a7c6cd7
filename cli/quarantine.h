// The console program's quarantine: a neutralised copy of every file before
// it is removed, a manifest line for each, and the way back.
#pragma once
#include <windows.h>

#include <cstddef>

constexpr char kQuarantineManifestName[] = "manifest.tsv";
constexpr char kQuarantineCopySuffix[] = ".vxq";

// Keeps a copy of path (UTF-8, the exact name, absolute, any length) in
// folder (made with any missing parent, restricted to administrators and
// SYSTEM on the NT family, when missing; used when it exists only if
// CheckQuarantineFolder accepts it) and adds its manifest line, written
// through to the disk. False, with why set, when the copy or the line could
// not be written; whatever was half-written is taken away again.
bool QuarantineFile(const char* folder, const char* path, const char* detectionName, char* why, size_t whySize);

// True when folder is missing (it is made when needed) or may hold the
// quarantine: a folder, no link, and on the NT family owned by
// Administrators or SYSTEM with no one else allowed to write.
bool CheckQuarantineFolder(const char* folder, char* why, size_t whySize);

// Puts the copy named by sha256 back at its original path and marks its line.
// Never replaces an existing file, writes only to a full path through
// folders that are no links, and holds the manifest against other writers
// meanwhile. True on success; message (UTF-8) says what happened.
bool RestoreFromQuarantine(const char* folder, const char* sha256, char* message, size_t messageSize);

// Writes the manifest to out (a console gets it as text, anything else the
// UTF-8 bytes). False, with why set, when it cannot be read or holds bytes
// that are not UTF-8 (then it is written out all the same).
bool ListQuarantine(const char* folder, HANDLE out, char* why, size_t whySize);

// Folder + "\" + name, bounded; false when it does not fit MAX_PATH.
bool QuarantinePath(const char* folder, const char* name, char* out, size_t size);
