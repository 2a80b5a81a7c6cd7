// The decision whether an auto-start value launches the file under check.
// Pure string work, free of <windows.h>, so that it builds and can be fuzzed
// natively; the registry walk in autostart.cpp acts on the verdict.
#pragma once

enum class RunValueVerdict {
    Keep,              // matches neither case
    NameCaseDelete,    // bare data naming the file, the file in a system folder
    NameCaseKeep,      // bare data naming the file, the file elsewhere
    PathCaseDelete,    // data or expansion starts with the file's full path
};

// The text after the last backslash of path, or null when path holds none.
const char* RunValueFileName(const char* path);

// data: the value's data as read; expanded: its environment expansion (may
// be null when it could not be formed); currentFilePath: the file under
// check. Letter case is ignored throughout (ASCII letters).
RunValueVerdict DecideRunValue(const char* data, const char* expanded, const char* currentFilePath);
