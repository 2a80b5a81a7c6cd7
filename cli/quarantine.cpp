#include "cli/quarantine.h"

#include "cli/console_text.h"
#include "cli/quarantine_format.h"
#include "cli/quarantine_trust.h"
#include "cli/utf8_display.h"
#include "detect/text.h"
#include "detect/utf8.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"
#include "platform/long_path.h"
#include "scan/scan_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kChunkBytes = 64 * 1024;
// No trojan image of the family comes near this; a larger file is left in place.
constexpr uint64_t kMaxKeptBytes = 256ull * 1024 * 1024;
constexpr DWORD kMaxManifestBytes = 16 * 1024 * 1024;

uint8_t g_chunk[kChunkBytes];

// A heap buffer released with its scope.
struct HeapText {
    char* data = nullptr;
    DWORD length = 0;
    HeapText() = default;
    HeapText(const HeapText&) = delete;
    HeapText& operator=(const HeapText&) = delete;
    ~HeapText() { free(data); }
    bool Allocate(size_t size)
    {
        data = static_cast<char*>(malloc(size ? size : 1));
        return data != nullptr;
    }
};

bool Say(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
bool Say(char* out, size_t size, const char* format, ...)
{
    if (out && size) {
        va_list args;
        va_start(args, format);
        vsnprintf(out, size, format, args);
        va_end(args);
    }
    return false;
}

bool WriteAll(HANDLE file, const void* data, DWORD length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, p, length, &written, nullptr) || written == 0)
            return false;
        p += written;
        length -= written;
    }
    return true;
}

// The file pointer is at end, the manifest's length: a manifest that does not
// end with a line end (a line cut short by a crash or an edit) gets one first,
// so that the next line is never read as part of it.
bool StartOwnLine(HANDLE manifest, DWORD end)
{
    if (end == 0)
        return true;
    char last = 0;
    DWORD got = 0;
    if (SetFilePointer(manifest, LONG(end - 1), nullptr, FILE_BEGIN) != end - 1 ||
        !ReadFile(manifest, &last, 1, &got, nullptr) || got != 1)
        return false;
    return last == '\n' || WriteAll(manifest, "\r\n", 2);
}

bool IsNtFamily()
{
    static int nt = -1;
    if (nt < 0) {
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof info;
        nt = GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
    }
    return nt == 1;
}

void UtcTimeText(char* out, size_t size)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    snprintf(out, size, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
}

// --- the paths the scan hands over: UTF-8, the exact name ------------------
// Reached through the project's exact-name file calls: the wide functions
// with "\\?\" on the NT family, on Windows 9x the ANSI ones when the name
// converts to the code page exactly. Paths read back from a manifest are
// hostile, so only the two absolute forms are passed on.

// A drive path ("C:\...") or a UNC path ("\\server\share\..."): the only
// forms a kept file's path may take.
bool IsAbsolutePath(const char* path)
{
    const char c = path[0];
    if (((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':' && path[2] == '\\')
        return true;
    if (path[0] != '\\' || path[1] != '\\' || path[2] == '\\' || path[2] == '\0')
        return false;
    // "\\?\" and "\\.\" name devices and the system's own namespaces.
    if ((path[2] == '?' || path[2] == '.') && path[3] == '\\')
        return false;
    const char* share = strchr(path + 2, '\\');
    return share != nullptr && share[1] != '\\' && share[1] != '\0';
}

// The file calls for such a path; one that is not absolute fails with
// ERROR_INVALID_NAME, as one the code page cannot hold exactly does on 9x.
HANDLE PathCreateFile(const char* utf8, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    if (!IsAbsolutePath(utf8)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileLong(utf8, access, share, disposition, flags);
}

DWORD PathAttributes(const char* utf8)
{
    return IsAbsolutePath(utf8) ? GetFileAttributesLong(utf8) : INVALID_FILE_ATTRIBUTES;
}

bool PathDelete(const char* utf8) { return IsAbsolutePath(utf8) && DeleteFileLong(utf8); }

// Whether the entry itself is a link (a junction or a symbolic link), read
// from its folder's listing: that never follows the link, where asking the
// entry may (or, under some systems, fail for a link).
bool PathIsLink(const char* utf8)
{
    if (!IsNtFamily())
        return false; // Windows 9x has no links
    if (!LongPathsAvailable() || !IsAbsolutePath(utf8))
        return true; // cannot tell: never written through
    static WIN32_FIND_DATAW found;
    FindGuard find(FindFirstFileLong(utf8, &found));
    if (!find.valid())
        return false;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Renames within one folder; never replaces an existing file.
bool PathMoveNew(const char* fromUtf8, const char* toUtf8)
{
    return IsAbsolutePath(fromUtf8) && IsAbsolutePath(toUtf8) && MoveFileLong(fromUtf8, toUtf8);
}

// Where a restore may write: an absolute path of exact names (no empty,
// "." or ".." part), whose folders all exist and none of which is a link
// (a junction or a symbolic link could lead the write anywhere).
bool CheckRestoreTarget(const char* path, char* why, size_t whySize)
{
    if (!IsAbsolutePath(path))
        return Say(why, whySize, "the original path is not a full path (drive and backslash, or \\\\server\\share)");
    static char prefix[kManifestPathChars];
    if (!CopyText(prefix, sizeof prefix, path))
        return Say(why, whySize, "the original path is too long");
    // Past the root: "C:\" or "\\server\share\".
    char* part = prefix[0] == '\\' ? strchr(strchr(prefix + 2, '\\') + 1, '\\') : prefix + 2;
    if (part == nullptr)
        return Say(why, whySize, "the original path names no file");
    ++part;
    for (;;) {
        char* next = strchr(part, '\\');
        const size_t length = next ? size_t(next - part) : strlen(part);
        bool wildcard = false;
        for (size_t i = 0; i < length; ++i)
            wildcard = wildcard || part[i] == '*' || part[i] == '?';
        if (length == 0 || (length == 1 && part[0] == '.') || (length == 2 && part[0] == '.' && part[1] == '.') ||
            wildcard)
            return Say(why, whySize, "the original path is not made of plain names");
        if (!next)
            return true;
        *next = '\0';
        const DWORD attributes = PathAttributes(prefix);
        if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) ||
            PathIsLink(prefix))
            return Say(why, whySize, "the folder %s is a link; nothing is written through it", prefix);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Say(why, whySize, "the folder %s does not exist", prefix);
        *next = '\\';
        part = next + 1;
    }
}

// --- the folder, restricted on the NT family --------------------------------


// The security calls are bound at run time: the program still loads on
// Windows 95, whose advapi32 lacks them.
bool CreateRestrictedFolder(const char* folder, char* why, size_t whySize)
{
    using InitSdFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
    using SetDaclFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
    using SetControlFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
    using InitAclFn = BOOL(WINAPI*)(PACL, DWORD, DWORD);
    using AddAceFn = BOOL(WINAPI*)(PACL, DWORD, DWORD, PSID);
    using GetAceFn = BOOL(WINAPI*)(PACL, DWORD, LPVOID*);
    using AllocSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                     DWORD, DWORD, PSID*);
    using FreeSidFn = PVOID(WINAPI*)(PSID);
    using SidLengthFn = DWORD(WINAPI*)(PSID);
    using SetFileSecurityFn = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);

    HMODULE advapi = LoadLibraryA("advapi32.dll");
    auto initSd = Bind<InitSdFn>(advapi, "InitializeSecurityDescriptor");
    auto setDacl = Bind<SetDaclFn>(advapi, "SetSecurityDescriptorDacl");
    auto setControl = Bind<SetControlFn>(advapi, "SetSecurityDescriptorControl"); // Windows 2000 on
    auto initAcl = Bind<InitAclFn>(advapi, "InitializeAcl");
    auto addAce = Bind<AddAceFn>(advapi, "AddAccessAllowedAce");
    auto getAce = Bind<GetAceFn>(advapi, "GetAce");
    auto allocSid = Bind<AllocSidFn>(advapi, "AllocateAndInitializeSid");
    auto freeSid = Bind<FreeSidFn>(advapi, "FreeSid");
    auto sidLength = Bind<SidLengthFn>(advapi, "GetLengthSid");
    auto setFileSecurity = Bind<SetFileSecurityFn>(advapi, "SetFileSecurityA");
    if (!initSd || !setDacl || !initAcl || !addAce || !getAce || !allocSid || !freeSid || !sidLength ||
        !setFileSecurity)
        return Say(why, whySize, "the quarantine folder cannot be restricted on this system");

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    PSID system = nullptr;
    if (!allocSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins) ||
        !allocSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system)) {
        if (admins)
            freeSid(admins);
        return Say(why, whySize, "the quarantine folder cannot be restricted (no account identifiers)");
    }
    union {
        ACL acl;
        DWORD words[64]; // two ACEs of at most 28 + 68 bytes each
    } aclSpace;
    SECURITY_DESCRIPTOR descriptor;
    PACL acl = &aclSpace.acl;
    const DWORD aclBytes = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + sidLength(admins) +
                           sidLength(system);
    bool ready = aclBytes <= sizeof aclSpace && initAcl(acl, aclBytes, ACL_REVISION) &&
                 addAce(acl, ACL_REVISION, FILE_ALL_ACCESS, admins) &&
                 addAce(acl, ACL_REVISION, FILE_ALL_ACCESS, system);
    for (DWORD i = 0; ready && i < 2; ++i) {
        // Copies and the manifest made inside inherit the same two entries.
        LPVOID ace = nullptr;
        ready = getAce(acl, i, &ace) && ace != nullptr;
        if (ready)
            static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    ready = ready && initSd(&descriptor, SECURITY_DESCRIPTOR_REVISION) && setDacl(&descriptor, TRUE, acl, FALSE);
    // Without protection, entries inherited from the parent would be added.
    if (ready && setControl)
        ready = setControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    bool made = false;
    DWORD error = 0;
    if (ready) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
        made = CreateDirectoryA(folder, &attributes);
        error = GetLastError();
        // Set once more on the made folder: some systems (Wine among them)
        // drop a descriptor given at creation. A folder that cannot be
        // restricted is taken away again rather than used open.
        if (made && !setFileSecurity(folder, DACL_SECURITY_INFORMATION, &descriptor)) {
            error = GetLastError();
            RemoveDirectoryA(folder);
            made = false;
        }
    }
    freeSid(admins);
    freeSid(system);
    if (!ready)
        return Say(why, whySize, "the quarantine folder cannot be restricted");
    if (!made)
        return Say(why, whySize, "the quarantine folder cannot be created (error %lu)", error);
    return true;
}

// Whether an existing folder may hold the quarantine: on the NT family its
// owner must be Administrators or SYSTEM (or the account running this) and
// no one else may write to it. Windows 9x keeps no owners: nothing to check.
bool FolderIsTrusted(const char* folder, char* why, size_t whySize)
{
    if (!IsNtFamily())
        return true;
    using GetFileSecurityFn = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    auto getFileSecurity = Bind<GetFileSecurityFn>(advapi, "GetFileSecurityA");
    auto openToken = Bind<OpenProcessTokenFn>(advapi, "OpenProcessToken");
    auto tokenInformation = Bind<GetTokenInformationFn>(advapi, "GetTokenInformation");
    if (!getFileSecurity)
        return Say(why, whySize, "the quarantine folder %s is not used: its access cannot be checked here", folder);
    static uint8_t descriptor[64 * 1024];
    memset(descriptor, 0, sizeof descriptor);
    DWORD needed = 0;
    if (!getFileSecurity(folder, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor,
                         sizeof descriptor, &needed))
        return Say(why, whySize, "the quarantine folder %s is not used: its access cannot be read (error %lu)",
                   folder, GetLastError());
    static uint8_t user[512];
    const uint8_t* runner = nullptr;
    size_t runnerSize = 0;
    HANDLE token = nullptr;
    if (openToken && tokenInformation && openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        HandleGuard tokenGuard(token);
        DWORD got = 0;
        if (tokenInformation(token, TokenUser, user, sizeof user, &got)) {
            runner = static_cast<const uint8_t*>(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
            if (runner >= user && runner + 8 <= user + sizeof user)
                runnerSize = 8 + 4 * size_t(runner[1]);
            if (runner + runnerSize > user + sizeof user)
                runner = nullptr, runnerSize = 0;
        }
    }
    const FolderTrust trust = JudgeQuarantineFolder(descriptor, sizeof descriptor, runner, runnerSize);
    if (trust != FolderTrust::kTrusted)
        return Say(why, whySize, "the quarantine folder %s is not used: %s", folder, FolderTrustText(trust));
    return true;
}

// An existing quarantine folder: a folder, no link, trusted.
bool CheckExistingFolder(const char* folder, DWORD attributes, char* why, size_t whySize)
{
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Say(why, whySize, "the quarantine folder name is taken by a file");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Say(why, whySize, "the quarantine folder %s is not used: it is a link", folder);
    return FolderIsTrusted(folder, why, whySize);
}

// Makes the folder and any missing folder above it; the quarantine folder
// itself gets the restricted access list on the NT family.
bool EnsureFolder(const char* folder, char* why, size_t whySize)
{
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return CheckExistingFolder(folder, attributes, why, whySize);
    char prefix[MAX_PATH];
    if (!CopyText(prefix, sizeof prefix, folder))
        return Say(why, whySize, "the quarantine folder name is too long");
    // Past the root: "C:\" or "\\server\share\".
    char* part = prefix[0] == '\\' && prefix[1] == '\\' ? strchr(prefix + 2, '\\') : strchr(prefix, '\\');
    if (part && prefix[0] == '\\')
        part = strchr(part + 1, '\\');
    while (part) {
        char* next = strchr(part + 1, '\\');
        if (!next)
            break;
        *next = '\0';
        if (GetFileAttributesA(prefix) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryA(prefix, nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return Say(why, whySize, "the folder %s cannot be created (error %lu)", prefix, GetLastError());
        *next = '\\';
        part = next;
    }
    if (IsNtFamily())
        return CreateRestrictedFolder(folder, why, whySize);
    if (!CreateDirectoryA(folder, nullptr))
        return Say(why, whySize, "the quarantine folder cannot be created (error %lu)", GetLastError());
    return true;
}

HANDLE OpenToRead(const char* path)
{
    // A running program's image and files others write stay readable; Windows
    // 9x knows no delete sharing and refuses the flag.
    HANDLE h = PathCreateFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        h = PathCreateFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN);
    return h;
}

// One writer of the manifest at a time, across runs: a scan appending a
// line, a restore from its read to its rewrite. The lock is a file held
// without sharing, gone when its handle closes (also when a run is killed).
constexpr DWORD kLockWaitMs = 10000;
constexpr char kLockName[] = "manifest.lock";

bool TakeManifestLock(const char* folder, HandleGuard& lock, char* why, size_t whySize)
{
    char path[MAX_PATH];
    if (!QuarantinePath(folder, kLockName, path, sizeof path))
        return Say(why, whySize, "the quarantine folder name is too long");
    for (DWORD waited = 0;; waited += 100) {
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER) // Windows 9x
            h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            lock.reset(h);
            return true;
        }
        const DWORD error = GetLastError();
        const bool busy = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
        if (!busy || waited >= kLockWaitMs)
            return Say(why, whySize,
                       busy ? "the quarantine is in use by another run (waited %lu s; error %lu)"
                            : "the quarantine cannot be locked (%lu s; error %lu)",
                       waited / 1000, error);
        Sleep(100);
    }
}

// The manifest, whole, NUL-terminated. Missing gives an empty text.
bool ReadManifest(const char* folder, HeapText& text, char* why, size_t whySize)
{
    char path[MAX_PATH];
    if (!QuarantinePath(folder, kQuarantineManifestName, path, sizeof path))
        return Say(why, whySize, "the quarantine folder name is too long");
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Say(why, whySize, "there is no quarantine folder %s", folder);
    HandleGuard file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_NOT_FOUND)
        return Say(why, whySize, "the manifest cannot be read (error %lu)", GetLastError());
    DWORD high = 0;
    DWORD size = file.valid() ? GetFileSize(file.get(), &high) : 0;
    if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxManifestBytes)
        return Say(why, whySize, "the manifest is too large to read");
    if (!text.Allocate(size + 1))
        return Say(why, whySize, "no memory for the manifest");
    text.length = 0;
    while (text.length < size) {
        DWORD got = 0;
        if (!ReadFile(file.get(), text.data + text.length, size - text.length, &got, nullptr) || got == 0)
            break;
        text.length += got;
    }
    text.data[text.length] = '\0';
    // A part of the manifest must never pass for all of it: a restore
    // writes the manifest back from what was read here.
    if (text.length != size)
        return Say(why, whySize, "the manifest cannot be read whole");
    return true;
}

// Calls visit(line start, line length, start of the next line) for each line.
template <typename Visit>
void ForEachLine(const char* text, DWORD length, Visit visit)
{
    DWORD start = 0;
    while (start < length) {
        DWORD end = start;
        while (end < length && text[end] != '\n')
            ++end;
        DWORD next = end < length ? end + 1 : end;
        DWORD lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r')
            --lineEnd;
        visit(start, lineEnd - start, next);
        start = next;
    }
}

// Writes content as the new manifest: a complete new file first, then swapped
// in, so an interruption leaves the old manifest or the new one.
bool ReplaceManifest(const char* folder, const char* content, DWORD length)
{
    char manifest[MAX_PATH];
    char fresh[MAX_PATH];
    if (!QuarantinePath(folder, kQuarantineManifestName, manifest, sizeof manifest) ||
        !QuarantinePath(folder, "manifest.new", fresh, sizeof fresh))
        return false;
    {
        HandleGuard file(
            CreateFileA(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        if (!WriteAll(file.get(), content, length) || !FlushFileBuffers(file.get())) {
            file.Close();
            DeleteFileA(fresh);
            return false;
        }
    }
    if (MoveFileExA(fresh, manifest, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && DeleteFileA(manifest) && MoveFileA(fresh, manifest))
        return true; // Windows 9x
    DeleteFileA(fresh);
    return false;
}


enum class KeptState { kMissing, kHolds, kWrong, kUnreadable };

// What an earlier copy under the same name holds. Only a copy read to its
// end and found wrong may be replaced: one that merely cannot be read now
// (held open, denied) may still be the only copy of a removed file.
KeptState CheckKeptCopy(const char* path, const char* sha256, uint64_t size, DWORD* error)
{
    *error = 0;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = GetLastError();
        return *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND ? KeptState::kMissing
                                                                                : KeptState::kUnreadable;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = ERROR_DIRECTORY;
        return KeptState::kUnreadable;
    }
    HandleGuard copy(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!copy.valid()) {
        *error = GetLastError();
        return KeptState::kUnreadable;
    }
    char magic[sizeof kQuarantineMagic];
    DWORD got = 0;
    if (!ReadFile(copy.get(), magic, sizeof magic, &got, nullptr)) {
        *error = GetLastError();
        return KeptState::kUnreadable;
    }
    if (got != sizeof magic || memcmp(magic, kQuarantineMagic, sizeof magic) != 0)
        return KeptState::kWrong;
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    for (;;) {
        if (!ReadFile(copy.get(), g_chunk, kChunkBytes, &got, nullptr)) {
            *error = GetLastError();
            return KeptState::kUnreadable;
        }
        if (got == 0)
            break;
        if (done + got > size)
            return KeptState::kWrong;
        TransformQuarantineBytes(g_chunk, got, done);
        Sha256Add(hash, g_chunk, got);
        done += got;
    }
    char digest[65];
    Sha256End(hash, digest);
    return done == size && strcmp(digest, sha256) == 0 ? KeptState::kHolds : KeptState::kWrong;
}

// The new copy takes the place of a wrong one in one step; the old one is
// never deleted before the new one has its name.
bool ReplaceKeptCopy(const char* temp, const char* kept, const char* aside)
{
    if (MoveFileExA(temp, kept, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    // Windows 9x: the old copy moves aside and comes back if the new one
    // cannot take its name.
    DeleteFileA(aside);
    if (!MoveFileA(kept, aside))
        return false;
    if (!MoveFileA(temp, kept)) {
        DWORD error = GetLastError();
        MoveFileA(aside, kept);
        SetLastError(error);
        return false;
    }
    DeleteFileA(aside);
    return true;
}

// Whether entry, written as a manifest line, reads back as itself: a name
// that would not is never removed, since its copy could not be found again.
bool LineReadsBack(const ManifestEntry& entry, char* line, size_t size)
{
    static ManifestEntry reread;
    if (!FormatManifestLine(entry, line, size))
        return false;
    const size_t length = strlen(line);
    return length >= 2 && ParseManifestLine(line, length - 2, reread) && strcmp(reread.path, entry.path) == 0 &&
           strcmp(reread.name, entry.name) == 0 && strcmp(reread.sha256, entry.sha256) == 0 &&
           strcmp(reread.time, entry.time) == 0 && reread.size == entry.size && reread.restored[0] == '\0';
}

char g_line[kManifestLineChars + 64];

} // namespace

bool QuarantinePath(const char* folder, const char* name, char* out, size_t size)
{
    return CopyText(out, size, folder) && AppendText(out, size, "\\") && AppendText(out, size, name) &&
           strlen(out) < MAX_PATH;
}

bool CheckQuarantineFolder(const char* folder, char* why, size_t whySize)
{
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true; // made, restricted, when the first file is kept
    return CheckExistingFolder(folder, attributes, why, whySize);
}

bool QuarantineFile(const char* folder, const char* path, const char* detectionName, char* why, size_t whySize)
{
    static ManifestEntry entry;
    memset(&entry, 0, sizeof entry);
    char manifest[MAX_PATH];
    // The longest name inside is a copy's: 64 hexadecimal digits and the suffix.
    if (strlen(folder) + 1 + 64 + sizeof kQuarantineCopySuffix > MAX_PATH ||
        !QuarantinePath(folder, kQuarantineManifestName, manifest, sizeof manifest))
        return Say(why, whySize, "the quarantine folder name is too long");
    // Checked with stand-ins for the hash, time and size first, so that
    // nothing is copied for a name the manifest cannot give back.
    CopyText(entry.sha256, sizeof entry.sha256, "0000000000000000000000000000000000000000000000000000000000000000");
    CopyText(entry.time, sizeof entry.time, "2000-01-01T00:00:00Z");
    if (!CopyText(entry.name, sizeof entry.name, detectionName) || !CopyText(entry.path, sizeof entry.path, path) ||
        !LineReadsBack(entry, g_line, sizeof g_line))
        return Say(why, whySize, "the name cannot be written to the manifest");
    if (!EnsureFolder(folder, why, whySize))
        return false;

    HandleGuard source(OpenToRead(path));
    if (!source.valid())
        return Say(why, whySize, "the file cannot be read (error %lu)", GetLastError());
    DWORD high = 0;
    DWORD low = GetFileSize(source.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return Say(why, whySize, "the file's size cannot be read (error %lu)", GetLastError());
    if ((uint64_t(high) << 32 | low) > kMaxKeptBytes)
        return Say(why, whySize, "the file is too large to keep");

    char temp[MAX_PATH];
    if (!GetTempFileNameA(folder, "scq", 0, temp))
        return Say(why, whySize, "the copy cannot be written (error %lu)", GetLastError());
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    {
        HandleGuard copy(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        bool ok = copy.valid() && WriteAll(copy.get(), kQuarantineMagic, sizeof kQuarantineMagic);
        DWORD error = ok ? 0 : GetLastError();
        bool readFailed = false;
        while (ok) {
            DWORD got = 0;
            if (!ReadFile(source.get(), g_chunk, kChunkBytes, &got, nullptr)) {
                readFailed = true;
                error = GetLastError();
                ok = false;
                break;
            }
            if (got == 0)
                break;
            if (done + got > kMaxKeptBytes) { // grew while being read
                ok = false;
                break;
            }
            Sha256Add(hash, g_chunk, got);
            TransformQuarantineBytes(g_chunk, got, done);
            ok = WriteAll(copy.get(), g_chunk, got);
            if (!ok)
                error = GetLastError();
            done += got;
        }
        if (ok && !FlushFileBuffers(copy.get())) {
            ok = false;
            error = GetLastError();
        }
        copy.Close();
        if (!ok) {
            DeleteFileA(temp);
            return Say(why, whySize, readFailed ? "the file cannot be read (error %lu)"
                                                : "the copy cannot be written (error %lu)",
                       error);
        }
    }
    Sha256End(hash, entry.sha256);
    entry.size = done;
    UtcTimeText(entry.time, sizeof entry.time);
    if (!LineReadsBack(entry, g_line, sizeof g_line)) {
        DeleteFileA(temp);
        return Say(why, whySize, "the name cannot be written to the manifest");
    }

    HandleGuard lock;
    if (!TakeManifestLock(folder, lock, why, whySize)) {
        DeleteFileA(temp);
        return false;
    }
    char keptName[80];
    snprintf(keptName, sizeof keptName, "%s%s", entry.sha256, kQuarantineCopySuffix);
    char kept[MAX_PATH];
    QuarantinePath(folder, keptName, kept, sizeof kept); // fits: checked above
    // The same bytes kept before: that copy serves both lines while it gives
    // them back; one read and found wrong is replaced by the new copy.
    DWORD keptError = 0;
    const KeptState state = CheckKeptCopy(kept, entry.sha256, done, &keptError);
    bool madeNew = false;
    if (state == KeptState::kHolds) {
        DeleteFileA(temp);
    } else if (state == KeptState::kUnreadable) {
        DeleteFileA(temp);
        return Say(why, whySize, "an earlier copy of the same bytes cannot be read (error %lu); it is left as it is",
                   keptError);
    } else if (state == KeptState::kWrong) {
        char asideName[80];
        snprintf(asideName, sizeof asideName, "%s.old", entry.sha256);
        char aside[MAX_PATH];
        QuarantinePath(folder, asideName, aside, sizeof aside);
        if (!ReplaceKeptCopy(temp, kept, aside)) {
            DWORD error = GetLastError();
            DeleteFileA(temp);
            return Say(why, whySize, "a damaged earlier copy cannot be replaced (error %lu)", error);
        }
    } else if (!MoveFileA(temp, kept)) {
        DWORD error = GetLastError();
        DeleteFileA(temp);
        return Say(why, whySize, "the copy cannot be named (error %lu)", error);
    } else {
        madeNew = true;
    }

    DWORD error = 0;
    HandleGuard list(CreateFileA(manifest, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    // Each line reaches the disk before the file goes, so a scan that is
    // stopped or killed leaves a manifest that names every copy.
    const DWORD end = list.valid() ? SetFilePointer(list.get(), 0, nullptr, FILE_END) : INVALID_SET_FILE_POINTER;
    bool written = end != INVALID_SET_FILE_POINTER && StartOwnLine(list.get(), end) &&
                   WriteAll(list.get(), g_line, static_cast<DWORD>(strlen(g_line))) && FlushFileBuffers(list.get());
    if (!written) {
        error = GetLastError();
        // No half line stays behind for the next one to be glued to.
        if (end != INVALID_SET_FILE_POINTER && SetFilePointer(list.get(), LONG(end), nullptr, FILE_BEGIN) == end)
            SetEndOfFile(list.get());
        list.Close();
        if (madeNew)
            DeleteFileA(kept);
        return Say(why, whySize, "the manifest cannot be written (error %lu)", error);
    }
    return true;
}

bool RestoreFromQuarantine(const char* folder, const char* sha256, char* message, size_t messageSize)
{
    char wanted[80];
    if (!CopyText(wanted, sizeof wanted, sha256) || !NormaliseSha256Hex(wanted))
        return Say(message, messageSize, "not a SHA-256 (64 hexadecimal digits): %.80s", sha256);
    const DWORD folderAttributes = GetFileAttributesA(folder);
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return Say(message, messageSize, "there is no quarantine folder %s", folder);
    // A folder others could write to may hold a planted line and copy.
    if (!CheckExistingFolder(folder, folderAttributes, message, messageSize))
        return false;
    // Held from the read to the rewrite, so that no line a scan appends
    // meanwhile is lost.
    HandleGuard lock;
    if (!TakeManifestLock(folder, lock, message, messageSize))
        return false;
    HeapText text;
    if (!ReadManifest(folder, text, message, messageSize))
        return false;
    const DWORD length = text.length;

    static ManifestEntry entry;
    static ManifestEntry found;
    bool any = false;
    bool open = false;
    DWORD lineStart = 0, nextStart = 0;
    ForEachLine(text.data, length, [&](DWORD start, DWORD count, DWORD next) {
        if (!ParseManifestLine(text.data + start, count, entry) || strcmp(entry.sha256, wanted) != 0)
            return;
        any = true;
        if (entry.restored[0] != '\0')
            return;
        // The latest copy still kept wins.
        open = true;
        found = entry;
        lineStart = start;
        nextStart = next;
    });
    if (!open)
        return Say(message, messageSize, any ? "%s was restored before" : "%s is not in the quarantine", wanted);

    const char* original = found.path;
    static char why[kManifestPathChars + 200];
    if (!CheckRestoreTarget(original, why, sizeof why))
        return Say(message, messageSize, "%s is not restored: %s", original, why);
    if (!LongPathsAvailable()) {
        char ansi[MAX_PATH];
        if (!Utf8ToAnsiPath(original, ansi, sizeof ansi))
            return Say(message, messageSize, "%s is not restored: the name cannot be written exactly on this system",
                       original);
    }
    if (PathAttributes(original) != INVALID_FILE_ATTRIBUTES)
        return Say(message, messageSize, "%s exists; nothing was replaced", original);

    char keptName[80];
    snprintf(keptName, sizeof keptName, "%s%s", wanted, kQuarantineCopySuffix);
    char kept[MAX_PATH];
    if (!QuarantinePath(folder, keptName, kept, sizeof kept))
        return Say(message, messageSize, "the quarantine folder name is too long");
    HandleGuard copy(CreateFileA(kept, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!copy.valid())
        return Say(message, messageSize, "the kept copy %s cannot be read (error %lu)", kept, GetLastError());
    char magic[sizeof kQuarantineMagic];
    DWORD got = 0;
    if (!ReadFile(copy.get(), magic, sizeof magic, &got, nullptr) || got != sizeof magic ||
        memcmp(magic, kQuarantineMagic, sizeof magic) != 0)
        return Say(message, messageSize, "%s is not a kept copy", kept);

    // Written beside the original under a new name of its own, then moved:
    // the original path never holds a half-written file, and the move
    // refuses a file that appeared meanwhile.
    static char temp[kManifestPathChars + 32];
    CopyText(temp, sizeof temp, original);
    char* slash = strrchr(temp, '\\');
    HandleGuard out;
    for (unsigned attempt = 0; slash && attempt < 64 && !out.valid(); ++attempt) {
        snprintf(slash + 1, sizeof temp - size_t(slash + 1 - temp), "scq%08lx.tmp",
                 static_cast<unsigned long>(GetTickCount() + attempt * 7919u));
        out.reset(PathCreateFile(temp, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
        if (!out.valid() && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!out.valid())
        return Say(message, messageSize, "cannot write beside %s (error %lu)", original, GetLastError());
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    bool ok = true;
    while (ok) {
        if (!ReadFile(copy.get(), g_chunk, kChunkBytes, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (done + got > found.size) {
            ok = false;
            break;
        }
        TransformQuarantineBytes(g_chunk, got, done);
        Sha256Add(hash, g_chunk, got);
        ok = WriteAll(out.get(), g_chunk, got);
        done += got;
    }
    ok = ok && FlushFileBuffers(out.get());
    out.Close();
    char digest[65];
    Sha256End(hash, digest);
    if (!ok || done != found.size || strcmp(digest, wanted) != 0) {
        PathDelete(temp);
        return Say(message, messageSize, ok ? "the kept copy %s is damaged; nothing was restored"
                                            : "the file could not be written back from %s",
                   kept);
    }
    if (!PathMoveNew(temp, original)) {
        DWORD error = GetLastError();
        PathDelete(temp);
        return Say(message, messageSize, "%s cannot be put back (error %lu); nothing was replaced", original, error);
    }

    UtcTimeText(found.restored, sizeof found.restored);
    HeapText updated;
    bool marked = false;
    if (updated.Allocate(length + sizeof g_line) && FormatManifestLine(found, g_line, sizeof g_line)) {
        DWORD lineLength = static_cast<DWORD>(strlen(g_line));
        memcpy(updated.data, text.data, lineStart);
        memcpy(updated.data + lineStart, g_line, lineLength);
        memcpy(updated.data + lineStart + lineLength, text.data + nextStart, length - nextStart);
        marked = ReplaceManifest(folder, updated.data, lineStart + lineLength + (length - nextStart));
    }
    if (!marked)
        Say(message, messageSize, "restored %s, but its manifest line could not be marked", original);
    else
        Say(message, messageSize, "restored %s", original);
    return true;
}

bool ListQuarantine(const char* folder, HANDLE out, char* why, size_t whySize)
{
    HeapText text;
    if (!ReadManifest(folder, text, why, whySize))
        return false;
    const DWORD length = text.length;
    DWORD mode = 0;
    bool ok;
    bool damaged = false;
    if (GetConsoleMode(out, &mode)) {
        // A console shows its own code page: the UTF-8 goes through wide
        // characters, decoded here (Windows 95 has no UTF-8 conversion).
        ok = WriteConsoleUtf8(out, text.data, length, &damaged);
    } else {
        ok = WriteAll(out, text.data, length);
        static uint16_t units[4096];
        for (DWORD at = 0; at < length;) {
            size_t written = 0;
            at += static_cast<DWORD>(
                DecodeUtf8ForDisplay(text.data + at, length - at, units, sizeof units / sizeof units[0], &written,
                                     &damaged));
        }
    }
    if (!ok)
        return Say(why, whySize, "the manifest could not be written out");
    if (damaged)
        return Say(why, whySize,
                   "the manifest is damaged: it holds bytes that are not UTF-8 (a console shows them as U+FFFD); "
                   "everything else was listed");
    return true;
}
