#include "platform/process_list.h"

#include "detect/utf8.h"
#include "platform/ansi_text.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

typedef HANDLE(WINAPI* CreateSnapshotFn)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkFn)(HANDLE, PROCESSENTRY32*);
typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleFileNameExAFn)(HANDLE, HMODULE, char*, DWORD);
typedef DWORD(WINAPI* GetModuleFileNameExWFn)(HANDLE, HMODULE, wchar_t*, DWORD);

constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ; // 0x410
constexpr int kMaxProcessIds = 1024;

// Whether text begins with prefix (both wide).
bool StartsWithWide(const wchar_t* text, const wchar_t* prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix)
            return false;
    return true;
}

void Pace(DWORD ms)
{
    if (ms)
        Sleep(ms);
}

// The image's name by whichever form psapi offers, as UTF-8 in utf8 (bytes:
// kLongPathUtf8Size). Room for the longest path the system has, so a length
// that fills the buffer means the name was cut: such a name is refused.
class ModuleNameReader {
public:
    explicit ModuleNameReader(HMODULE psapi)
        : wide_(Bind<GetModuleFileNameExWFn>(psapi, "GetModuleFileNameExW")),
          ansi_(wide_ ? nullptr : Bind<GetModuleFileNameExAFn>(psapi, "GetModuleFileNameExA"))
    {
        if (wide_)
            wideBuffer_.reset(new (std::nothrow) wchar_t[kUnits]);
        else if (ansi_)
            ansiBuffer_.reset(new (std::nothrow) char[kUnits]);
        utf8_.reset(new (std::nothrow) char[kLongPathUtf8Size]);
    }
    bool usable() const { return utf8_ && (wideBuffer_ || ansiBuffer_); }
    // Null when the name cannot be read whole or converted.
    const char* Read(HANDLE process)
    {
        if (wideBuffer_) {
            const DWORD length = wide_(process, nullptr, wideBuffer_.get(), DWORD(kUnits));
            if (length == 0 || length >= kUnits - 1)
                return nullptr;
            const wchar_t* name = wideBuffer_.get();
            size_t units = length;
            // A program started by its "\\?\" name is listed under it; the
            // scan hands paths around without the prefix.
            if (units > 8 && StartsWithWide(name, L"\\\\?\\UNC\\")) {
                name += 6; // keep "\\" of the UNC form: "\\?\UNC\s" -> "\\s"
                wideBuffer_[6] = L'\\';
                units -= 6;
            } else if (units > 4 && StartsWithWide(name, L"\\\\?\\")) {
                name += 4;
                units -= 4;
            }
            return Utf16ToUtf8(name, units, utf8_.get(), kLongPathUtf8Size) ? utf8_.get() : nullptr;
        }
        const DWORD length = ansi_(process, nullptr, ansiBuffer_.get(), DWORD(kUnits));
        if (length == 0 || length >= kUnits - 1)
            return nullptr;
        ansiBuffer_[length] = '\0';
        return AnsiToUtf8(ansiBuffer_.get(), utf8_.get(), kLongPathUtf8Size) ? utf8_.get() : nullptr;
    }

private:
    static constexpr size_t kUnits = kLongPathUnits + 1;
    GetModuleFileNameExWFn wide_;
    GetModuleFileNameExAFn ansi_;
    std::unique_ptr<wchar_t[]> wideBuffer_;
    std::unique_ptr<char[]> ansiBuffer_;
    std::unique_ptr<char[]> utf8_;
};

} // namespace

ProcessList::~ProcessList()
{
    while (head_) {
        ProcessRecord* next = head_->next;
        free(head_->imagePath);
        delete head_;
        head_ = next;
    }
}

bool ProcessList::Append(DWORD processId, const char* imagePath)
{
    if (!imagePath)
        imagePath = "";
    const size_t size = strlen(imagePath) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (!copy)
        return false;
    memcpy(copy, imagePath, size);
    ProcessRecord* record = new (std::nothrow) ProcessRecord();
    if (!record) {
        free(copy);
        return false;
    }
    record->processId = processId;
    record->imagePath = copy;
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
        // szExeFile holds at most MAX_PATH ANSI bytes, each at most three
        // bytes of UTF-8.
        char utf8[sizeof(PROCESSENTRY32::szExeFile) * 3 + 1];
    };
    std::unique_ptr<Listing> listing(new (std::nothrow) Listing{list, true, {}});
    if (!listing)
        return kListIncomplete;
    ListOutcome outcome = WalkProcessesToolhelp(
        [](const PROCESSENTRY32& entry, void* context) {
            Listing& l = *static_cast<Listing*>(context);
            if (!AnsiToUtf8(entry.szExeFile, l.utf8, sizeof l.utf8))
                return true;
            l.complete = l.list.Append(entry.th32ProcessID, l.utf8);
            return l.complete;
        },
        listing.get(), 0);
    return outcome == kListed && !listing->complete ? kListIncomplete : outcome;
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
    ModuleNameReader moduleName(psapi);
    if (!moduleName.usable())
        return kListUnavailable;

    for (short i = 0; i < short(count); ++i) {
        HandleGuard process(OpenProcess(kQueryRights, FALSE, ids[i]));
        if (!process && whenDenied && GetLastError() == ERROR_ACCESS_DENIED) {
            whenDenied();
            process.reset(OpenProcess(kQueryRights, FALSE, ids[i]));
        }
        if (!process)
            continue;
        const char* imagePath = moduleName.Read(process.get());
        if (!imagePath)
            continue;
        if (!list.Append(ids[i], imagePath))
            return kListIncomplete;
    }
    return kListed;
}
