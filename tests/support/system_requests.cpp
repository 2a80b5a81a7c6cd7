#include "tests/support/system_requests.h"

#include <aclapi.h>
#include <sddl.h>

namespace scx::test {

namespace {

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

} // namespace

std::vector<std::string> PendingRenameEntries()
{
    std::vector<std::string> items;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return items;
    const char* value = "PendingFileRenameOperations";
    DWORD size = 0;
    if (RegQueryValueExA(key, value, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        std::vector<char> data(size + 2, '\0');
        if (RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            for (size_t i = 0; i < size;) {
                std::string item(&data[i]);
                items.push_back(item);
                i += item.size() + 1;
            }
            // The list ends with an empty string; pairs may have empty destinations.
            while (!items.empty() && items.back().empty() && items.size() % 2 == 1)
                items.pop_back();
        }
    }
    RegCloseKey(key);
    return items;
}

void ForgetPendingRenamesUnder(const std::string& folder)
{
    const std::vector<std::string> entries = PendingRenameEntries();
    std::string kept;
    bool forgotten = false;
    // Entries come in pairs: source, then destination (empty: delete).
    // The system may hand a name back in another letter case.
    const std::string wanted = LowerAscii(folder);
    for (size_t i = 0; i < entries.size(); i += 2) {
        if (LowerAscii(entries[i]).find(wanted) != std::string::npos) {
            forgotten = true;
            continue;
        }
        kept += entries[i] + '\0';
        kept += (i + 1 < entries.size() ? entries[i + 1] : std::string()) + '\0';
    }
    if (!forgotten)
        return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return;
    if (kept.empty())
        RegDeleteValueA(key, "PendingFileRenameOperations");
    else
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>((kept + '\0').data()), DWORD(kept.size() + 1));
    RegCloseKey(key);
}

bool MachineKeyExists(const std::string& path)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

bool CreateMachineKey(const std::string& path)
{
    HKEY h;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

KeyAccess::KeyAccess(HKEY root, const char* path, const char* dacl) : root_(root), path_(path)
{
    HKEY key;
    if (RegOpenKeyExA(root_, path, 0, WRITE_DAC | READ_CONTROL, &key) != ERROR_SUCCESS)
        return;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldDacl_, nullptr,
                        &oldSd_) == ERROR_SUCCESS) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        PACL acl = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &sd, nullptr) &&
            GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted))
            ok_ = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
        LocalFree(sd);
    }
    RegCloseKey(key);
}

KeyAccess::~KeyAccess()
{
    HKEY key;
    if (oldSd_ && RegOpenKeyExA(root_, path_.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, oldDacl_, nullptr);
        RegCloseKey(key);
    }
    LocalFree(oldSd_);
}

} // namespace scx::test
