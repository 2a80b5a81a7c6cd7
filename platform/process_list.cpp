#include "platform/process_list.h"

#include "detect/text.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"

#include <new>

namespace {

typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleFileNameExFn)(HANDLE, HMODULE, char*, DWORD);

constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ; // 0x410
constexpr int kMaxProcessIds = 1024;

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

ListOutcome ListProcessesToolhelp(ProcessList& list)
{
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    if (!kernel)
        return kListUnavailable;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry; // 296

    CreateSnapshotFn createSnapshot = Bind<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    if (!createSnapshot)
        return kListUnavailable;
    HandleGuard snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return kListUnavailable;

    ProcessWalkFn first = Bind<ProcessWalkFn>(kernel, "Process32First");
    if (!first || !first(snapshot.get(), &entry))
        return kListUnavailable;
    if (!list.Append(entry.th32ProcessID, entry.szExeFile))
        return kListIncomplete;
    for (;;) {
        ProcessWalkFn next = Bind<ProcessWalkFn>(kernel, "Process32Next");
        if (!next)
            return kListUnavailable;
        if (!next(snapshot.get(), &entry))
            return kListed;
        if (!list.Append(entry.th32ProcessID, entry.szExeFile))
            return kListIncomplete;
    }
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
