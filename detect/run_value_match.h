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
// check. All three are UTF-8 (exact names). Letter case is ignored for ASCII
// letters only: the bytes of other characters compare as they are, so "Ф"
// and "ф" differ here although the file system takes them for one name (the
// system's case table is not the program's to copy; the trojan writes its
// own path as the listing gives it).
RunValueVerdict DecideRunValue(const char* data, const char* expanded, const char* currentFilePath);
