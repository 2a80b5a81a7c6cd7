#include "repair/repair.h"

#include "engine/engine.h"
#include "memscan/memscan.h"
#include "repair/run_value_match.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kReportName[] = "W32/Vexmor.Trojan";

// The data and expansion buffers of a walk, terminator included.
constexpr DWORD kRunDataChars = 261;
// Larger values are not read at all; no command line comes near this.
constexpr DWORD kMaxValueBytes = 1024 * 1024;
// The longest expansion ExpandEnvironmentStringsA produces, terminator included.
constexpr DWORD kMaxExpansionChars = 32768;

class KeyGuard {
public:
    KeyGuard() = default;
    ~KeyGuard()
    {
        if (key_)
            RegCloseKey(key_);
    }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;

    bool Open(HKEY root, const char* subKeyPath, REGSAM access)
    {
        return RegOpenKeyExA(root, subKeyPath, 0, access, &key_) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }
    // Closes now; true when the system reported no error.
    bool Close()
    {
        HKEY key = key_;
        key_ = nullptr;
        return key && RegCloseKey(key) == ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
};

void ReportRegistryRemoval(const char* name)
{
    if (FrontEndAttached())
        ReportResultLine("System Registry     %s removed", name ? name : "");
}

// Expands data into expanded (kRunDataChars). An expansion too long for the
// buffer is compared by its first part. False when it cannot be formed.
bool ExpandRunValue(const char* data, char* expanded)
{
    expanded[0] = '\0';
    DWORD needed = ExpandEnvironmentStringsA(data, expanded, kRunDataChars);
    if (needed == 0)
        return false;
    if (needed <= kRunDataChars) {
        expanded[kRunDataChars - 1] = '\0';
        return true;
    }
    static char wide[kMaxExpansionChars];
    DWORD again = ExpandEnvironmentStringsA(data, wide, sizeof wide);
    if (again == 0 || again > sizeof wide)
        return false;
    wide[sizeof wide - 1] = '\0';
    CopyText(expanded, kRunDataChars, wide);
    return true;
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
    ScanMailAttachment(kReportName, hosts);
}

} // namespace

int ReadRegistryValue(HKEY root, const char* subKeyPath, const char* valueName, char* buffer)
{
    if (!buffer)
        return 0;
    buffer[0] = '\0';
    KeyGuard key;
    if (!key.Open(root, subKeyPath, KEY_READ))
        return 0;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return 0;
    if (size > kMaxValueBytes)
        return 0;

    // Data of any type is taken as text up to its first NUL; data longer than
    // the caller's buffer is cut to it, so that a command padded with
    // arguments is still recognised by its start.
    char local[kRunDataChars];
    std::unique_ptr<char[]> large;
    char* data = local;
    if (size >= kRunDataChars) {
        large.reset(new (std::nothrow) char[size + 1]);
        if (!large)
            return 0;
        data = large.get();
    }
    DWORD got = size;
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &got) != ERROR_SUCCESS)
        return 0;
    if (got > size)
        got = size;
    data[got] = '\0';
    const size_t keep = strnlen(data, kRunDataChars - 1);
    memcpy(buffer, data, keep);
    buffer[keep] = '\0';
    return key.Close() ? 1 : 0;
}

int RemoveRegistryValue(HKEY root, const char* subKeyPath, const char* valueName)
{
    KeyGuard key;
    if (!key.Open(root, subKeyPath, KEY_ALL_ACCESS))
        return 0;
    if (RegDeleteValueA(key.get(), valueName) != ERROR_SUCCESS)
        return 0;
    return key.Close() ? 1 : 0;
}

void CleanRunKey(HKEY root, const char* subKeyPath)
{
    KeyGuard key;
    if (!key.Open(root, subKeyPath, KEY_READ))
        return;
    // Read once: values a running trojan adds meanwhile are not chased.
    DWORD valueCount = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &valueCount, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;

    // The file under check, terminated whatever the field holds.
    char filePath[sizeof ScanState.currentFilePath];
    memcpy(filePath, ScanState.currentFilePath, sizeof filePath);
    filePath[sizeof filePath - 1] = '\0';

    static char valueName[0x3FFF + 1];
    char data[kRunDataChars];
    char expanded[kRunDataChars];
    DWORD deletionCount = 0;
    for (DWORD i = 0; i < valueCount; ++i) {
        // Deleted values close up the enumeration behind them.
        DWORD nameSize = sizeof valueName;
        if (RegEnumValueA(key.get(), i - deletionCount, valueName, &nameSize, nullptr, nullptr,
                          nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        valueName[sizeof valueName - 1] = '\0';
        if (!RunValueFileName(filePath))
            break;
        if (!ReadRegistryValue(root, subKeyPath, valueName, data))
            continue;
        if (!ExpandRunValue(data, expanded))
            continue;

        switch (DecideRunValue(data, expanded, filePath)) {
        case RunValueVerdict::NameCaseDelete:
            if (RemoveRegistryValue(root, subKeyPath, valueName) == 1) {
                CopyText(ScanState.autoStartValueName, sizeof ScanState.autoStartValueName, valueName);
                ReportRegistryRemoval(kReportName);
                ++deletionCount;
            }
            break;
        case RunValueVerdict::PathCaseDelete:
            // Remembered before the attempt, so a refused deletion is retried
            // for the next infected file.
            CopyText(ScanState.autoStartValueName, sizeof ScanState.autoStartValueName, valueName);
            if (RemoveRegistryValue(root, subKeyPath, valueName) == 1) {
                ReportRegistryRemoval(kReportName);
                ++deletionCount;
            }
            break;
        case RunValueVerdict::NameCaseKeep:
        case RunValueVerdict::Keep:
            break;
        }
    }
}

int RepairAutoStart(const char* detectionName)
{
    CheckHostsFile();

    if (ScanState.autoStartValueName[0] != '\0') {
        char name[sizeof ScanState.autoStartValueName];
        memcpy(name, ScanState.autoStartValueName, sizeof name);
        name[sizeof name - 1] = '\0';
        if (RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name) == 1)
            ReportRegistryRemoval(detectionName);
        if (RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServicesKey, name) == 1)
            ReportRegistryRemoval(detectionName);
    }

    if (ScanState.currentFilePath[0] != '\0') {
        CleanRunKey(HKEY_LOCAL_MACHINE, kRunKey);
        CleanRunKey(HKEY_LOCAL_MACHINE, kRunServicesKey);
    }
    return 1;
}
