#include "platform/process_list.h"

#include "detect/text.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"

#include <new>

namespace {

typedef HANDLE(WINAPI* CreateSnapshotFn)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkFn)(HANDLE, PROCESSENTRY32*);
typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleFileNameExFn)(HANDLE, HMODULE, char*, DWORD);

constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ; // 0x410
constexpr int kMaxProcessIds = 1024;

void Pace(DWORD ms)
{
    if (ms)
        Sleep(ms);
}

} // namespace

ProcessList::~ProcessList()
{
    while (head_) {
        ProcessRecord* next = head_->next;
        delete head_;
        head_ = next;
    }
}

bool ProcessList::Append(DWORD processId, const char* imagePath)
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

ListOutcome WalkProcessesToolhelp(bool (*visit)(const PROCESSENTRY32& entry, void* context), void* context,
                                  DWORD paceMs)
{
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    Pace(paceMs);
    if (!kernel)
        return kListUnavailable;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry; // 296

    CreateSnapshotFn createSnapshot = Bind<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    if (!createSnapshot)
        return kListUnavailable;
    HandleGuard snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    Pace(paceMs);
    if (!snapshot)
        return kListUnavailable;

    ProcessWalkFn first = Bind<ProcessWalkFn>(kernel, "Process32First");
    if (!first || !first(snapshot.get(), &entry))
        return kListUnavailable;
    for (;;) {
        entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
        if (!visit(entry, context))
            return kListed;
        ProcessWalkFn next = Bind<ProcessWalkFn>(kernel, "Process32Next");
        if (!next)
            return kListUnavailable;
        Pace(paceMs);
        if (!next(snapshot.get(), &entry))
            return kListed;
        Pace(paceMs);
    }
}

ListOutcome ListProcessesToolhelp(ProcessList& list)
{
    struct Listing {
        ProcessList& list;
        bool complete;
    } listing = {list, true};
    ListOutcome outcome = WalkProcessesToolhelp(
        [](const PROCESSENTRY32& entry, void* context) {
            Listing& l = *static_cast<Listing*>(context);
            l.complete = l.list.Append(entry.th32ProcessID, entry.szExeFile);
            return l.complete;
        },
        &listing, 0);
    return outcome == kListed && !listing.complete ? kListIncomplete : outcome;
}

ListOutcome ListProcessesPsapi(ProcessList& list, void (*whenDenied)())
{
    HMODULE psapi = LoadLibraryA("psapi.dll");
    if (!psapi)
        return kListUnavailable;
    EnumProcessesFn enumProcesses = Bind<EnumProcessesFn>(psapi, "EnumProcesses");
    if (!enumProcesses)
        return kListUnavailable;
    DWORD ids[kMaxProcessIds];
    ZeroMemory(ids, sizeof ids);
    DWORD bytes = 0;
    if (!enumProcesses(ids, sizeof ids, &bytes))
        return kListUnavailable;
    DWORD count = bytes / sizeof(DWORD);
    if (count > DWORD(kMaxProcessIds))
        count = kMaxProcessIds;
    if (count == 0)
        return kListUnavailable;
    GetModuleFileNameExFn moduleFileName = Bind<GetModuleFileNameExFn>(psapi, "GetModuleFileNameExA");
    if (!moduleFileName)
        return kListUnavailable;

    for (short i = 0; i < short(count); ++i) {
        HandleGuard process(OpenProcess(kQueryRights, FALSE, ids[i]));
        if (!process && whenDenied && GetLastError() == ERROR_ACCESS_DENIED) {
            whenDenied();
            process.reset(OpenProcess(kQueryRights, FALSE, ids[i]));
        }
        if (!process)
            continue;
        char imagePath[260] = {};
        DWORD length = moduleFileName(process.get(), nullptr, imagePath, sizeof imagePath);
        if (length == 0)
            continue;
        imagePath[sizeof imagePath - 1] = '\0';
        if (!list.Append(ids[i], imagePath))
            return kListIncomplete;
    }
    return kListed;
}
