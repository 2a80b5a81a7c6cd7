// Ending the processes started from a file that could not be deleted.
#include "platform/process_kill.h"

#include "detect/perf_data.h"
#include "detect/text.h"
#include "platform/handle_guard.h"
#include "platform/process_kill_detail.h"
#include "platform/process_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// malloc'd buffer released on every way out.
class Buffer {
public:
    Buffer() = default;
    ~Buffer() { free(p_); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    // Zero-filled; false when the memory cannot be had (old contents kept).
    bool Resize(size_t size)
    {
        void* p = realloc(p_, size ? size : 1);
        if (!p)
            return false;
        p_ = static_cast<uint8_t*>(p);
        size_ = size;
        memset(p_, 0, size);
        return true;
    }
    uint8_t* data() const { return p_; }
    size_t size() const { return size_; }

private:
    uint8_t* p_ = nullptr;
    size_t size_ = 0;
};

const char* FileNamePart(const char* path)
{
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// Ends one process; true when TerminateProcess succeeded.
bool TerminateById(DWORD pid, DWORD access)
{
    HandleGuard process(OpenProcess(access, FALSE, pid));
    return process.get() && TerminateProcess(process.get(), 0);
}

int ConvertInstanceName(const uint16_t* name, size_t nameChars, char* out, size_t outSize)
{
    if (nameChars == 0) {
        if (outSize == 0)
            return -1;
        out[0] = '\0';
        return 0;
    }
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(name), int(nameChars), out,
                                int(outSize), nullptr, nullptr);
    if (n <= 0 || size_t(n) >= outSize)
        return -1;
    out[n] = '\0';
    return n;
}

} // namespace

bool ToolhelpEntryMatches(const char* exeFile, const char* path)
{
    if (!exeFile || !path || !*exeFile || !*path)
        return false;
    if (!strchr(exeFile, '\\') || !strchr(path, '\\'))
        return EqualNoCase(FileNamePart(exeFile), FileNamePart(path));
    if (EqualNoCase(exeFile, path))
        return true;
    // The snapshot may name the file in its short (8.3) form.
    char a[MAX_PATH], b[MAX_PATH];
    DWORD na = GetShortPathNameA(exeFile, a, sizeof a);
    DWORD nb = GetShortPathNameA(path, b, sizeof b);
    return na > 0 && na < sizeof a && nb > 0 && nb < sizeof b && EqualNoCase(a, b);
}

int KillByExeNameToolhelp(const char* path)
{
    if (!path)
        return 0;
    struct Search {
        const char* path;
        int result;
    } search = {path, 0};
    WalkProcessesToolhelp(
        [](const PROCESSENTRY32& entry, void* context) {
            Search& s = *static_cast<Search*>(context);
            if (!ToolhelpEntryMatches(entry.szExeFile, s.path))
                return true;
            Sleep(50);
            s.result = TerminateById(entry.th32ProcessID, PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION) ? 1 : 0;
            Sleep(500);
            return false; // first match only
        },
        &search, 100);
    return search.result;
}

bool KillByPathPsapi(const char* path)
{
    if (!path)
        return false;
    ProcessList list;
    switch (ListProcessesPsapi(list, nullptr)) {
    case kListUnavailable:
        return false;
    case kListIncomplete:
        return true; // without the whole list nothing is ended
    case kListed:
        break;
    }

    size_t pathLength = strlen(path);
    for (ProcessRecord* r = list.head(); r; r = r->next) {
        if (strlen(r->imagePath) != pathLength || !EqualNoCase(r->imagePath, path))
            continue;
        if (TerminateById(r->processId, PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION))
            Sleep(500);
    }
    return true;
}

int KillByNamePerfDataFrom(const char* path, const uint8_t* titles, size_t titlesLength,
                           const uint8_t* block, size_t blockLength)
{
    char target[MAX_PATH];
    if (!PerfTargetFromPath(path, target, sizeof target))
        return 0;
    PerfCounterTitles found;
    if (!ParseCounterTitles(titles, titlesLength, &found))
        return 0;
    PerfProcessEntry table[kPerfTableSize];
    int filled = ParsePerfProcessTable(block, blockLength, found.idProcessIndex, ConvertInstanceName, table);
    int result = 0;
    for (int i = 0; i < filled; ++i) {
        if (!PerfInstanceNameMatches(table[i].name, target))
            continue;
        HandleGuard process(OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(table[i].processId)));
        if (process.get() && TerminateProcess(process.get(), 0))
            result = 1;
        Sleep(500);
    }
    return result;
}

int KillByNamePerfData(const char* path)
{
    char target[MAX_PATH];
    if (!path || !PerfTargetFromPath(path, target, sizeof target))
        return 0;

    // The English counter titles.
    char keyName[96];
    snprintf(keyName, sizeof keyName, "%s\\%03x", "software\\microsoft\\windows nt\\currentversion\\perflib", 9);
    HKEY perflib = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &perflib) != ERROR_SUCCESS)
        return 0;
    KeyGuard perflibGuard(perflib);
    DWORD titlesSize = 0;
    if (RegQueryValueExA(perflib, "Counters", nullptr, nullptr, nullptr, &titlesSize) != ERROR_SUCCESS ||
        titlesSize == 0)
        return 0;
    Buffer titles;
    if (!titles.Resize(titlesSize))
        return 0;
    DWORD got = titlesSize;
    if (RegQueryValueExA(perflib, "Counters", nullptr, nullptr, titles.data(), &got) != ERROR_SUCCESS)
        return 0;
    if (got > titlesSize)
        got = titlesSize;
    PerfCounterTitles found;
    if (!ParseCounterTitles(titles.data(), got, &found))
        return 0;

    // The process object. The size the query leaves behind on ERROR_MORE_DATA
    // is not to be trusted, so the buffer grows from its own size, up to a cap.
    const size_t kGrowth = 25600;
    const size_t kCap = 64u << 20;
    Buffer data;
    if (!data.Resize(51200))
        return 0;
    DWORD size = DWORD(data.size());
    LONG rc = RegQueryValueExA(HKEY_PERFORMANCE_DATA, found.processIndex, nullptr, nullptr, data.data(), &size);
    while (rc == ERROR_MORE_DATA) {
        size_t next = (size > data.size() ? size_t(size) : data.size()) + kGrowth;
        if (next > kCap || !data.Resize(next)) {
            rc = ERROR_OUTOFMEMORY;
            break;
        }
        size = DWORD(data.size());
        rc = RegQueryValueExA(HKEY_PERFORMANCE_DATA, found.processIndex, nullptr, nullptr, data.data(), &size);
    }
    RegCloseKey(HKEY_PERFORMANCE_DATA);
    if (rc != ERROR_SUCCESS || size == 0)
        return 0;
    if (size > data.size())
        size = DWORD(data.size());
    return KillByNamePerfDataFrom(path, titles.data(), got, data.data(), size);
}
