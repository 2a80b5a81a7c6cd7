#include "cli/quarantine.h"

#include "cli/quarantine_format.h"
#include "detect/text.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"
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
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void UtcTimeText(char* out, size_t size)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    snprintf(out, size, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
}

bool IsAscii(const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p >= 0x80)
            return false;
    return true;
}

// Between the ANSI code page and UTF-8. Systems without UTF-8 conversion
// (Windows 95) manage ASCII paths only; anything lossy is refused.
bool ConvertPath(const char* text, UINT from, UINT to, char* out, size_t size)
{
    static wchar_t wide[MAX_PATH * 2];
    int n = MultiByteToWideChar(from, 0, text, -1, wide, MAX_PATH * 2);
    if (n > 0) {
        BOOL lossy = FALSE;
        int m = WideCharToMultiByte(to, 0, wide, -1, out, static_cast<int>(size), nullptr,
                                    to == CP_UTF8 ? nullptr : &lossy);
        if (m > 0 && !lossy)
            return true;
    }
    return IsAscii(text) && CopyText(out, size, text);
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

bool EnsureFolder(const char* folder, char* why, size_t whySize)
{
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return true;
        return Say(why, whySize, "the quarantine folder name is taken by a file");
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
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return h;
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

// Whether the kept copy at path decodes to size bytes with this SHA-256.
bool KeptCopyHolds(const char* path, const char* sha256, uint64_t size)
{
    HandleGuard copy(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!copy.valid())
        return false;
    char magic[sizeof kQuarantineMagic];
    DWORD got = 0;
    if (!ReadFile(copy.get(), magic, sizeof magic, &got, nullptr) || got != sizeof magic ||
        memcmp(magic, kQuarantineMagic, sizeof magic) != 0)
        return false;
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    for (;;) {
        if (!ReadFile(copy.get(), g_chunk, kChunkBytes, &got, nullptr))
            return false;
        if (got == 0)
            break;
        if (done + got > size)
            return false;
        TransformQuarantineBytes(g_chunk, got, done);
        Sha256Add(hash, g_chunk, got);
        done += got;
    }
    char digest[65];
    Sha256End(hash, digest);
    return done == size && strcmp(digest, sha256) == 0;
}

} // namespace

bool QuarantinePath(const char* folder, const char* name, char* out, size_t size)
{
    return CopyText(out, size, folder) && AppendText(out, size, "\\") && AppendText(out, size, name) &&
           strlen(out) < MAX_PATH;
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
    if (!CopyText(entry.name, sizeof entry.name, detectionName) ||
        !ConvertPath(path, CP_ACP, CP_UTF8, entry.path, sizeof entry.path))
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

    char keptName[80];
    snprintf(keptName, sizeof keptName, "%s%s", entry.sha256, kQuarantineCopySuffix);
    char kept[MAX_PATH];
    QuarantinePath(folder, keptName, kept, sizeof kept); // fits: checked above
    // The same bytes kept before: that copy serves both lines, but only when
    // it still gives them back; a damaged one is replaced by the new copy.
    bool keptBefore = GetFileAttributesA(kept) != INVALID_FILE_ATTRIBUTES;
    if (keptBefore && !KeptCopyHolds(kept, entry.sha256, done)) {
        if (!DeleteFileA(kept)) {
            DWORD error = GetLastError();
            DeleteFileA(temp);
            return Say(why, whySize, "a damaged earlier copy cannot be replaced (error %lu)", error);
        }
        keptBefore = false;
    }
    if (keptBefore) {
        DeleteFileA(temp);
    } else if (!MoveFileA(temp, kept)) {
        DWORD error = GetLastError();
        DeleteFileA(temp);
        return Say(why, whySize, "the copy cannot be named (error %lu)", error);
    }

    char line[kManifestLineChars + 64];
    bool written = FormatManifestLine(entry, line, sizeof line);
    DWORD error = 0;
    if (written) {
        HandleGuard list(CreateFileA(manifest, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        // Each line reaches the disk before the file goes, so a scan that is
        // stopped or killed leaves a manifest that names every copy.
        const DWORD end = list.valid() ? SetFilePointer(list.get(), 0, nullptr, FILE_END) : INVALID_SET_FILE_POINTER;
        written = end != INVALID_SET_FILE_POINTER && StartOwnLine(list.get(), end) &&
                  WriteAll(list.get(), line, static_cast<DWORD>(strlen(line))) && FlushFileBuffers(list.get());
        if (!written) {
            error = GetLastError();
            // No half line stays behind for the next one to be glued to.
            if (end != INVALID_SET_FILE_POINTER && SetFilePointer(list.get(), LONG(end), nullptr, FILE_BEGIN) == end)
                SetEndOfFile(list.get());
        }
    }
    if (!written) {
        if (!keptBefore)
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

    char original[MAX_PATH];
    if (!ConvertPath(found.path, CP_UTF8, CP_ACP, original, sizeof original))
        return Say(message, messageSize, "the original path cannot be written on this system: %s", found.path);
    if (GetFileAttributesA(original) != INVALID_FILE_ATTRIBUTES)
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

    // Written beside the original under a temporary name, then moved: the
    // original path never holds a half-written file, and the move refuses a
    // file that appeared meanwhile.
    char folderOfOriginal[MAX_PATH];
    CopyText(folderOfOriginal, sizeof folderOfOriginal, original);
    char* slash = strrchr(folderOfOriginal, '\\');
    if (!slash)
        return Say(message, messageSize, "the original path has no folder: %s", original);
    if (slash == folderOfOriginal + 2 && folderOfOriginal[1] == ':')
        slash[1] = '\0'; // keep the root's backslash: "C:\"
    else
        slash[0] = '\0';
    char temp[MAX_PATH];
    if (!GetTempFileNameA(folderOfOriginal, "scq", 0, temp))
        return Say(message, messageSize, "cannot write in %s (error %lu)", folderOfOriginal, GetLastError());
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    bool ok;
    {
        HandleGuard out(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = out.valid();
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
    }
    char digest[65];
    Sha256End(hash, digest);
    if (!ok || done != found.size || strcmp(digest, wanted) != 0) {
        DeleteFileA(temp);
        return Say(message, messageSize, ok ? "the kept copy %s is damaged; nothing was restored"
                                            : "the file could not be written back from %s",
                   kept);
    }
    if (!MoveFileA(temp, original)) {
        DWORD error = GetLastError();
        DeleteFileA(temp);
        return Say(message, messageSize, "%s cannot be put back (error %lu); nothing was replaced", original, error);
    }

    UtcTimeText(found.restored, sizeof found.restored);
    char line[kManifestLineChars + 64];
    HeapText updated;
    bool marked = false;
    if (updated.Allocate(length + sizeof line) && FormatManifestLine(found, line, sizeof line)) {
        DWORD lineLength = static_cast<DWORD>(strlen(line));
        memcpy(updated.data, text.data, lineStart);
        memcpy(updated.data + lineStart, line, lineLength);
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
    bool ok = true;
    if (GetConsoleMode(out, &mode)) {
        // A console shows its own code page: the UTF-8 goes through wide characters.
        static wchar_t wide[4096];
        DWORD start = 0;
        while (ok && start < length) {
            DWORD count = length - start > 2048 ? 2048 : length - start;
            // Never cut a UTF-8 sequence in two.
            while (count > 0 && start + count < length &&
                   (static_cast<unsigned char>(text.data[start + count]) & 0xC0) == 0x80)
                --count;
            if (count == 0)
                break;
            int n = MultiByteToWideChar(CP_UTF8, 0, text.data + start, static_cast<int>(count), wide, 4096);
            DWORD written = 0;
            ok = n > 0 && WriteConsoleW(out, wide, static_cast<DWORD>(n), &written, nullptr);
            start += count;
        }
    } else {
        ok = WriteAll(out, text.data, length);
    }
    if (!ok)
        return Say(why, whySize, "the manifest could not be written out");
    return true;
}
