// A planted table of awkward names: names outside every code page, paths
// longer than MAX_PATH and than 1,000 characters, names ending in a dot or a
// space, device names. Each case holds an infected sample and, beside it, a
// near miss (one byte longer, never detected) that often carries the name
// Win32 path parsing would make of the sample's. Everything is made and read
// through "\\?\" wide calls, by exact name; paths are UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace scx::test {

struct AwkwardCase {
    const char* name;
    std::string folder;   // relative to the base, UTF-8 ("" for the base itself)
    std::string infected; // file name of the sample
    std::string nearMiss; // file name of the near miss beside it
    bool codePageOnly;    // a name Windows 9x can reach (by name or short name)
};

const std::vector<AwkwardCase>& AwkwardCases();

struct PlantedCase {
    std::string infected, nearMiss; // full UTF-8 paths
    std::vector<uint8_t> nearMissBytes;
};

// Plants every case (only those a Windows 9x can reach when codePageOnly)
// under base with record's sample; an empty list when anything failed.
std::vector<PlantedCase> PlantAwkwardNames(const std::string& base, int record, bool codePageOnly);

std::wstring ExactWidePath(const std::string& utf8Path); // "\\?\" form
bool ExactExists(const std::string& utf8Path);
std::vector<uint8_t> ExactRead(const std::string& utf8Path);
bool ExactWrite(const std::string& utf8Path, const std::vector<uint8_t>& bytes);

} // namespace scx::test
