// Files for tests: every test program runs with its own scratch folder on the
// prefix's C: drive (SCX_SCRATCH), removed by the harness afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace scx::test {

// The scratch folder as a Windows path, without a trailing backslash.
const std::string& ScratchDir();
// A fresh, empty folder below the scratch folder (one per call).
std::string MakeScratchSubdir(const std::string& hint);
// Creates every missing folder of path.
bool MakeDirs(const std::string& path);
// Removes a folder tree (attributes reset first). Missing is fine.
void RemoveTree(const std::string& path);
// The same for a wide path in any form ("\\?\", "\\?\unix\..."); the one
// removal the others go through, which never follows a link.
void RemoveWideTree(const std::wstring& path);
// The same for a tree whose paths may exceed MAX_PATH (reached as "\\?\" paths).
void RemoveLongTree(const std::string& path);

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
// Makes link a symbolic link to target (a folder link when folder is set);
// false where the system has none or refuses it.
bool MakeSymbolicLink(const std::string& link, const std::string& target, bool folder);

// Path of the running test program.
std::string SelfPath();

} // namespace scx::test
