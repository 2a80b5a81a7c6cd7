// The two process listings of the memory stage: each image is checked through
// the walker in memory-stage mode, infected processes are ended and their
// image files acted on by a forced second walk.
#include "scan/memory_stage.h"

#include "scan/engine.h"
#include "scan/repair.h"

#include <io.h>
#include <tlhelp32.h>

#include <cstring>
#include <new>

namespace {

// Neither library exists everywhere (no Toolhelp on NT 4, no PSAPI on 9x),
// so both are bound by name at run time and never unloaded.
typedef HANDLE(WINAPI* CreateSnapshotFn)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkFn)(HANDLE, PROCESSENTRY32*);
typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleFileNameExFn)(HANDLE, HMODULE, char*, DWORD);

template <typename Fn>
Fn Bind(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

constexpr DWORD kTerminateRights = PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION; // 0x401
constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;       // 0x410
constexpr int kMaxProcessIds = 1024;

class HandleGuard {
public:
    explicit HandleGuard(HANDLE h = nullptr) : h_(h) {}
    ~HandleGuard() { Reset(nullptr); }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
    HANDLE get() const { return h_; }
    void Reset(HANDLE h)
    {
        if (h_ && h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_;
};

// The list of one listing, in listing order; every node is freed on the way out.
class ProcessList {
public:
    ProcessList() = default;
    ~ProcessList()
    {
        while (head_) {
            ProcessRecord* next = head_->next;
            delete head_;
            head_ = next;
        }
    }
    ProcessList(const ProcessList&) = delete;
    ProcessList& operator=(const ProcessList&) = delete;

    // False when no node could be allocated.
    bool Append(DWORD processId, const char* imagePath)
    {
        ProcessRecord* record = new (std::nothrow) ProcessRecord();
        if (!record)
            return false;
        record->processId = processId;
        CopyText(record->imagePath, sizeof record->imagePath, imagePath);
        if (tail_)
            tail_->next = record;
        else
            head_ = record;
        tail_ = record;
        return true;
    }
    ProcessRecord* head() const { return head_; }

private:
    ProcessRecord* head_ = nullptr;
    ProcessRecord* tail_ = nullptr;
};

// The access test for read permission that decides whether an image is walked.
bool ImageReadable(const char* path)
{
    return _access(path, 4) == 0;
}

// 1 when the process could be opened for termination and was terminated.
bool TerminateById(DWORD processId)
{
    HandleGuard process(OpenProcess(kTerminateRights, FALSE, processId));
    return process.get() && TerminateProcess(process.get(), 0);
}

// Second walk of an infected image: the trojan check acts on the file by
// ActionMode without matching it again.
int ForcedWalk(const char* imagePath)
{
    char path[260];
    CopyText(path, sizeof path, imagePath);
    ScanState.forcedAction = ActionMode;
    int result = WalkDirectory(path);
    ScanState.forcedAction = 0;
    return result;
}

void EnableDebugPrivilege()
{
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
        FrontEndNotice("false", "TEMP");
        rawToken = nullptr;
    }
    HandleGuard token(rawToken);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid))
        return;
    if (token.get())
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// The service the trojan registers carries its image's file name without the
// extension: the text after the last backslash, cut at the last dot.
void ServiceNameFromImage(const char* imagePath, char* name, size_t size)
{
    const char* slash = strrchr(imagePath, '\\');
    CopyText(name, size, slash ? slash + 1 : imagePath);
    char* dot = strrchr(name, '.');
    if (dot)
        *dot = '\0';
}

} // namespace

void ScanProcessesToolhelp()
{
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    if (!kernel)
        return;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry; // 296

    CreateSnapshotFn createSnapshot =
        Bind<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    if (!createSnapshot)
        return;
    HandleGuard snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE || !snapshot.get())
        return;

    ProcessWalkFn first = Bind<ProcessWalkFn>(kernel, "Process32First");
    if (!first || !first(snapshot.get(), &entry))
        return;
    ProcessList list;
    if (!list.Append(entry.th32ProcessID, entry.szExeFile))
        return;
    for (;;) {
        ProcessWalkFn next = Bind<ProcessWalkFn>(kernel, "Process32Next");
        if (!next)
            return;
        if (!next(snapshot.get(), &entry))
            break;
        if (!list.Append(entry.th32ProcessID, entry.szExeFile))
            return;
    }

    for (ProcessRecord* record = list.head(); record; record = record->next) {
        ScanState.lastCheckInfected = 0;
        if (ImageReadable(record->imagePath))
            WalkDirectory(record->imagePath);
        if (!ScanState.lastCheckInfected)
            continue;
        if (ActionMode == kActionLeave)
            continue;
        TerminateById(record->processId);
        // On this family the file is acted on even when the process survived.
        ForcedWalk(record->imagePath);
    }
}

short ScanProcessesPsapi()
{
    HMODULE psapi = LoadLibraryA("psapi.dll");
    if (!psapi)
        return 0;
    EnumProcessesFn enumProcesses = Bind<EnumProcessesFn>(psapi, "EnumProcesses");
    if (!enumProcesses)
        return 0;
    DWORD ids[kMaxProcessIds];
    ZeroMemory(ids, sizeof ids);
    DWORD bytes = 0;
    if (!enumProcesses(ids, sizeof ids, &bytes))
        return 0;
    DWORD count = bytes / sizeof(DWORD);
    if (count > DWORD(kMaxProcessIds))
        count = kMaxProcessIds;
    if (count == 0)
        return 0;
    GetModuleFileNameExFn moduleFileName =
        Bind<GetModuleFileNameExFn>(psapi, "GetModuleFileNameExA");
    if (!moduleFileName)
        return 0;

    ProcessList list;
    for (short i = 0; i < short(count); ++i) {
        HandleGuard process(OpenProcess(kQueryRights, FALSE, ids[i]));
        if (!process.get() && GetLastError() == ERROR_ACCESS_DENIED) {
            // Processes of other accounts open once the debug privilege is on.
            EnableDebugPrivilege();
            process.Reset(OpenProcess(kQueryRights, FALSE, ids[i]));
        }
        if (!process.get())
            continue;
        char imagePath[260] = {};
        DWORD length = moduleFileName(process.get(), nullptr, imagePath, sizeof imagePath);
        if (length == 0)
            continue;
        imagePath[sizeof imagePath - 1] = '\0';
        if (!list.Append(ids[i], imagePath))
            return 0;
    }

    short result = 0;
    for (ProcessRecord* record = list.head(); record; record = record->next) {
        result = 0;
        ScanState.lastCheckInfected = 0;
        if (ImageReadable(record->imagePath))
            result = short(WalkDirectory(record->imagePath));
        if (!ScanState.lastCheckInfected)
            continue;
        if (ActionMode != kActionDelete && ActionMode != kActionRename && ActionMode != kActionDeleteToo)
            continue;

        if (TerminateById(record->processId))
            result = 1;
        // A second attempt, whatever the first did: only a process that
        // survives both has its service dealt with.
        bool ended = TerminateById(record->processId);
        if (!ended) {
            int ntVersion = GetNtVersionCode();
            if (ntVersion == 5 || ntVersion == 6) {
                char serviceName[260];
                ServiceNameFromImage(record->imagePath, serviceName, sizeof serviceName);
                if (StopServiceByName(serviceName)) {
                    DeleteServiceRegistration(serviceName);
                    ended = true;
                } else {
                    DeleteServiceRegistration(serviceName);
                    ScanState.memoryRestartNeeded = 1;
                }
            }
            if (!ended && result == 0)
                continue;
        }
        result = short(ForcedWalk(record->imagePath));
    }
    return result;
}
