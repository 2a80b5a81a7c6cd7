// Whether an existing quarantine folder may be used, decided from the bytes
// of its security descriptor (self-relative, as GetFileSecurity gives it).
// Platform-free, so the decision is tested on descriptors built in a test.
#pragma once
#include <cstddef>
#include <cstdint>

enum class FolderTrust {
    kTrusted,
    kNoAccessList,     // no access list at all: everyone may write
    kOwnerNotTrusted,  // owned by someone other than Administrators, SYSTEM or the runner
    kOthersMayWrite,   // an entry lets someone else write, delete or change the access list
    kMalformed,        // the descriptor cannot be read as one
};

// Trusted are Administrators (S-1-5-32-544), SYSTEM (S-1-5-18) and runner
// (the account running the program, which gains nothing from fooling
// itself); runner may be null. Denying and auditing entries are ignored,
// so an entry's order cannot make a folder look safer than it is.
FolderTrust JudgeQuarantineFolder(const uint8_t* descriptor, size_t size, const uint8_t* runner, size_t runnerSize);

const char* FolderTrustText(FolderTrust trust);
