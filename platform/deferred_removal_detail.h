// The wininit.ini file handling of the deferred removal, on paths given by
// the caller, so that tests can work in folders of their own.
#pragma once

// Adds destination "=" source to the [rename] section of the wininit.ini at
// iniPath, reading the old content from a working copy at workingCopyPath.
// The new content is written to a new file beside iniPath, which replaces
// iniPath only once it is complete. writeLimit >= 0 (tests only) makes every
// write to the new file fail once that many bytes have been written.
bool AddWininitRenameAt(const char* iniPath, const char* workingCopyPath, const char* destination,
                        const char* source, long writeLimit = -1);

// Puts the complete file newPath in the place of target where MoveFileExA
// cannot (Windows 9x): target is moved aside first and put back when the
// new file cannot take its place.
bool ReplaceFileByBackup(const char* newPath, const char* target);

// A short path fit to stand in a wininit.ini entry: not empty, no blank,
// '=', ';', ',' or control character.
bool IsUsableShortPath(const char* shortPath);
