#include "scan/repair.h"

#include "detect/run_value_match.h"
#include "detect/text.h"
#include "platform/platform_probe.h"
#include "platform/registry_values.h"
#include "scan/engine.h"
#include "scan/product.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

void ReportRegistryRemoval(const char* name)
{
    if (FrontEndAttached())
        ReportResultLine("System Registry     %s removed", name ? name : "");
}

void CheckHostsFile()
{
    char hosts[MAX_PATH];
    UINT length = 0;
    const char* suffix = nullptr;
    switch (GetPlatformCode()) {
    case 5:
        length = GetSystemDirectoryA(hosts, sizeof hosts);
        suffix = "\\drivers\\etc\\hosts";
        break;
    case 4:
        length = GetWindowsDirectoryA(hosts, sizeof hosts);
        suffix = "\\hosts";
        break;
    default:
        return;
    }
    if (length == 0 || length >= sizeof hosts)
        return;
    // A cut path would name some other file.
    if (!AppendText(hosts, sizeof hosts, suffix))
        return;
    ScanMailAttachment(kTrojanReportName, hosts);
}

} // namespace

namespace {

// The verdict for the file under check, or for the same file as a 32-bit
// program spells it (alias, may be null) when that one is a deletion.
RunValueVerdict DecideForFile(const char* data, const char* expanded, const char* filePath,
                              const char* alias)
{
    const RunValueVerdict verdict = DecideRunValue(data, expanded, filePath);
    if (!alias || verdict == RunValueVerdict::NameCaseDelete || verdict == RunValueVerdict::PathCaseDelete)
        return verdict;
    const RunValueVerdict aliased = DecideRunValue(data, expanded, alias);
    if (aliased == RunValueVerdict::NameCaseDelete || aliased == RunValueVerdict::PathCaseDelete)
        return aliased;
    return verdict;
}

void CleanRunKeyIn(RegistryView view, HKEY root, const char* subKeyPath, const char* alias)
{
    KeyGuard key;
    if (!OpenRegistryKey(key, root, subKeyPath, KEY_READ | view))
        return;
    // Read once: values a running trojan adds meanwhile are not chased.
    DWORD valueCount = 0;
    if (!QueryValueCount(key.get(), &valueCount))
        return;

    // The file under check: its exact name, UTF-8. Names and data are read
    // exactly too (the wide registry calls on the NT family) and compared as
    // UTF-8; case is folded for ASCII letters only, as before.
    const char* filePath = ScanState.currentFilePath;

    static char valueName[kValueNameUtf8Size];
    HeapText data;
    HeapText expanded;
    DWORD deletionCount = 0;
    for (DWORD i = 0; i < valueCount; ++i) {
        // Deleted values close up the enumeration behind them.
        if (!EnumValueNameUtf8(key.get(), i - deletionCount, valueName))
            continue;
        if (!RunValueFileName(filePath))
            break;
        if (!ReadRunValueUtf8In(view, root, subKeyPath, valueName, data, expanded))
            continue;
        if (!expanded.get())
            continue;

        // A name cut to fit the remembered field could name another
        // program's value when it is deleted again later: such a value is
        // left, as one that cannot be read.
        const bool nameFits = strlen(valueName) < sizeof ScanState.autoStartValueName;

        switch (DecideForFile(data.get(), expanded.get(), filePath, alias)) {
        case RunValueVerdict::NameCaseDelete:
            if (!nameFits)
                break;
            if (RemoveRegistryValueUtf8In(view, root, subKeyPath, valueName) == 1) {
                CopyText(ScanState.autoStartValueName, sizeof ScanState.autoStartValueName, valueName);
                ReportRegistryRemoval(kTrojanReportName);
                ++deletionCount;
            }
            break;
        case RunValueVerdict::PathCaseDelete:
            // Remembered before the attempt, so a refused deletion is retried
            // for the next infected file.
            if (!nameFits)
                break;
            CopyText(ScanState.autoStartValueName, sizeof ScanState.autoStartValueName, valueName);
            if (RemoveRegistryValueUtf8In(view, root, subKeyPath, valueName) == 1) {
                ReportRegistryRemoval(kTrojanReportName);
                ++deletionCount;
            }
            break;
        case RunValueVerdict::NameCaseKeep:
        case RunValueVerdict::Keep:
            break;
        }
    }
}

// On 64-bit Windows a 32-bit program's "System32" is the SysWOW64 folder on
// disk, so a 32-bit trojan found at ...\SysWOW64\x.exe names itself
// ...\System32\x.exe in the values it writes. Empty when that does not apply.
void SystemFolderSpelling(const char* filePath, char* alias, size_t size)
{
    if (size == 0)
        return;
    alias[0] = '\0';
#if defined(_WIN64)
    char wow[MAX_PATH];
    char system[MAX_PATH];
    const UINT wowLength = GetSystemWow64DirectoryA(wow, sizeof wow);
    const UINT systemLength = GetSystemDirectoryA(system, sizeof system);
    if (wowLength == 0 || wowLength >= sizeof wow || systemLength == 0 || systemLength >= sizeof system)
        return;
    if (strlen(filePath) <= wowLength || _strnicmp(filePath, wow, wowLength) != 0 ||
        filePath[wowLength] != '\\')
        return;
    if (!CopyText(alias, size, system) || !AppendText(alias, size, filePath + wowLength))
        alias[0] = '\0';
#else
    (void)filePath;
    (void)size;
#endif
}

} // namespace

void CleanRunKey(HKEY root, const char* subKeyPath)
{
    CleanRunKeyIn(kOwnView, root, subKeyPath, nullptr);
}

int RepairAutoStart(const char* detectionName)
{
    CheckHostsFile();

#if defined(_WIN64)
    // The program's own (64-bit) view first, then the one 32-bit programs see.
    const RegistryView views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
    const RegistryView views[] = {kOwnView};
#endif

    if (ScanState.autoStartValueName[0] != '\0') {
        char name[sizeof ScanState.autoStartValueName];
        memcpy(name, ScanState.autoStartValueName, sizeof name);
        name[sizeof name - 1] = '\0';
        for (RegistryView view : views) {
            if (RemoveRegistryValueUtf8In(view, HKEY_LOCAL_MACHINE, kRunKey, name) == 1)
                ReportRegistryRemoval(detectionName);
            if (RemoveRegistryValueUtf8In(view, HKEY_LOCAL_MACHINE, kRunServicesKey, name) == 1)
                ReportRegistryRemoval(detectionName);
        }
    }

    if (ScanState.currentFilePath[0] != '\0') {
        const char* filePath = ScanState.currentFilePath;
        // The system folder's spelling is at most MAX_PATH longer.
        const size_t aliasSize = strlen(filePath) + MAX_PATH;
        std::unique_ptr<char[]> alias(new (std::nothrow) char[aliasSize]);
        if (alias)
            SystemFolderSpelling(filePath, alias.get(), aliasSize);
        for (RegistryView view : views) {
            // Only a 32-bit program reads its path through the redirection.
            const char* aliasInView = view == KEY_WOW64_32KEY && alias && alias[0] ? alias.get() : nullptr;
            CleanRunKeyIn(view, HKEY_LOCAL_MACHINE, kRunKey, aliasInView);
            CleanRunKeyIn(view, HKEY_LOCAL_MACHINE, kRunServicesKey, aliasInView);
        }
    }
    return 1;
}
