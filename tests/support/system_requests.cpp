#include "tests/support/system_requests.h"

#include <aclapi.h>
#include <sddl.h>

namespace scx::test {

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
