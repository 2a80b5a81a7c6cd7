// What a test reads of, or puts on, the system beyond its own files: the NT
// list of removals at the next start, and access lists on registry keys.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace scx::test {

// The strings of PendingFileRenameOperations in order (pairs of source and
// destination, "\??\"-prefixed); empty when there is no such value.
std::vector<std::string> PendingRenameEntries();

// Takes back the pending removals whose source path contains folder (in any
// letter case), so a
// test leaves no request behind for the next start of the prefix.
void ForgetPendingRenamesUnder(const std::string& folder);

// Keys under HKEY_LOCAL_MACHINE.
bool MachineKeyExists(const std::string& path);
bool CreateMachineKey(const std::string& path);

// Puts an access list (SDDL, e.g. "D:P(A;;KR;;;WD)") on a registry key and
// the old one back when it goes. Whoever may not rewrite the list could not
// put it back, so every list given here must grant WRITE_DAC.
class KeyAccess {
public:
    KeyAccess(HKEY root, const char* path, const char* dacl);
    ~KeyAccess();
    KeyAccess(const KeyAccess&) = delete;
    KeyAccess& operator=(const KeyAccess&) = delete;
    bool ok() const { return ok_; }

private:
    HKEY root_;
    std::string path_;
    PSECURITY_DESCRIPTOR oldSd_ = nullptr;
    PACL oldDacl_ = nullptr;
    bool ok_ = false;
};

} // namespace scx::test
