#include "cli/quarantine_trust.h"

#include <cstring>

namespace {

constexpr uint16_t kDaclPresent = 0x0004;
constexpr uint16_t kSelfRelative = 0x8000;
constexpr uint8_t kInheritOnly = 0x08;

// Rights that let a holder change what the folder holds or who may: write or
// append (add a file or a folder), extended attributes and attributes,
// delete a child or the folder, change the access list or the owner, and
// the generic and maximum forms that include them.
constexpr uint32_t kWriteRights = 0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 | 0x00000100 | 0x00010000 |
                                  0x00040000 | 0x00080000 | 0x02000000 | 0x10000000 | 0x40000000;

const uint8_t kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const uint8_t kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const uint8_t kCreatorOwner[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};

uint16_t Word(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Dword(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The length of the SID at p within the bytes left, or 0 when it is none.
size_t SidLength(const uint8_t* p, size_t left)
{
    if (left < 8 || p[0] != 1 || p[1] > 15)
        return 0;
    size_t length = 8 + 4 * size_t(p[1]);
    return length <= left ? length : 0;
}

bool SameSid(const uint8_t* sid, size_t length, const uint8_t* other, size_t otherLength)
{
    return other != nullptr && length == otherLength && memcmp(sid, other, length) == 0;
}

bool IsTrustedSid(const uint8_t* sid, size_t length, const uint8_t* runner, size_t runnerSize)
{
    return SameSid(sid, length, kAdministrators, sizeof kAdministrators) ||
           SameSid(sid, length, kSystem, sizeof kSystem) ||
           (SidLength(runner, runnerSize) == runnerSize && SameSid(sid, length, runner, runnerSize));
}

// Entry types that never grant: denied (1, 6, 10, 12), audit and alarm (2, 3,
// 7, 8, 13, 14, 15, 16), label and attribute entries (17 to 20).
bool NeverGrants(uint8_t type)
{
    return type == 1 || type == 2 || type == 3 || (type >= 6 && type <= 8) || type == 10 || (type >= 12 && type <= 20);
}

} // namespace

FolderTrust JudgeQuarantineFolder(const uint8_t* descriptor, size_t size, const uint8_t* runner, size_t runnerSize)
{
    if (descriptor == nullptr || size < 20 || descriptor[0] != 1)
        return FolderTrust::kMalformed;
    const uint16_t control = Word(descriptor + 2);
    if (!(control & kSelfRelative))
        return FolderTrust::kMalformed;
    const uint32_t ownerAt = Dword(descriptor + 4);
    const uint32_t daclAt = Dword(descriptor + 16);
    if (ownerAt == 0 || ownerAt >= size)
        return FolderTrust::kOwnerNotTrusted;
    const size_t ownerLength = SidLength(descriptor + ownerAt, size - ownerAt);
    if (ownerLength == 0)
        return FolderTrust::kMalformed;
    if (!IsTrustedSid(descriptor + ownerAt, ownerLength, runner, runnerSize))
        return FolderTrust::kOwnerNotTrusted;
    if (!(control & kDaclPresent) || daclAt == 0)
        return FolderTrust::kNoAccessList;
    if (daclAt > size || size - daclAt < 8)
        return FolderTrust::kMalformed;
    const uint8_t* acl = descriptor + daclAt;
    const size_t aclSize = Word(acl + 2);
    const unsigned count = Word(acl + 4);
    if (aclSize < 8 || aclSize > size - daclAt)
        return FolderTrust::kMalformed;
    size_t at = 8;
    for (unsigned i = 0; i < count; ++i) {
        if (aclSize - at < 4)
            return FolderTrust::kMalformed;
        const uint8_t type = acl[at];
        const uint8_t flags = acl[at + 1];
        const size_t aceSize = Word(acl + at + 2);
        if (aceSize < 4 || aceSize > aclSize - at)
            return FolderTrust::kMalformed;
        const uint8_t* ace = acl + at;
        at += aceSize;
        if (NeverGrants(type))
            continue;
        if (aceSize < 8)
            return FolderTrust::kMalformed;
        if (!(Dword(ace + 4) & kWriteRights))
            continue;
        // An object or conditional entry that grants writing: not read
        // further, never trusted.
        if (type != 0)
            return FolderTrust::kOthersMayWrite;
        const size_t sidLength = SidLength(ace + 8, aceSize - 8);
        if (sidLength == 0)
            return FolderTrust::kMalformed;
        if (IsTrustedSid(ace + 8, sidLength, runner, runnerSize))
            continue;
        // Whoever creates a file inside owns it: that is this program.
        if ((flags & kInheritOnly) && SameSid(ace + 8, sidLength, kCreatorOwner, sizeof kCreatorOwner))
            continue;
        return FolderTrust::kOthersMayWrite;
    }
    return FolderTrust::kTrusted;
}

const char* FolderTrustText(FolderTrust trust)
{
    switch (trust) {
    case FolderTrust::kTrusted:
        return "trusted";
    case FolderTrust::kNoAccessList:
        return "it has no access list, so anyone may write to it";
    case FolderTrust::kOwnerNotTrusted:
        return "its owner is not Administrators or SYSTEM";
    case FolderTrust::kOthersMayWrite:
        return "others than Administrators and SYSTEM may write to it";
    case FolderTrust::kMalformed:
        return "its security descriptor cannot be read";
    }
    return "unknown";
}
