#include "platform/services.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// One key path at a time: prefix (30), name, "\Security" (9) and the
// terminator, so a name of at most 472 characters fits.
constexpr size_t kKeyPathSize = 512;
constexpr size_t kMaxServiceNameLength = kKeyPathSize - 30 - 9 - 1;

struct RegistrationKey {
    const char* prefix;
    const char* suffix;
};

// Each service key after its Enum and Security subkeys: RegDeleteKeyA does not
// delete a key that still has subkeys. Both numbered control sets directly.
const RegistrationKey kRegistrationKeys[] = {
    {"SYSTEM\\ControlSet001\\Services\\", "\\Enum"},
    {"SYSTEM\\ControlSet001\\Services\\", "\\Security"},
    {"SYSTEM\\ControlSet001\\Services\\", ""},
    {"SYSTEM\\CONTROLSET002\\SERVICES\\", "\\Enum"},
    {"SYSTEM\\ControlSet002\\Services\\", "\\Security"},
    {"SYSTEM\\ControlSet002\\Services\\", ""},
};

} // namespace

int DeleteMachineKey(const char* subKeyPath)
{
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKeyPath) == ERROR_SUCCESS ? 1 : 0;
}

int DeleteServiceRegistration(const char* serviceName)
{
    // A name that is empty, holds a backslash or does not fit would name some
    // other key (the Services key itself, or a key below another service):
    // such a name deletes nothing.
    if (!serviceName || !*serviceName || strchr(serviceName, '\\') ||
        strlen(serviceName) > kMaxServiceNameLength)
        return 0;

    bool deleted = false;
    for (const RegistrationKey& key : kRegistrationKeys) {
        char path[kKeyPathSize];
        int n = snprintf(path, sizeof path, "%s%s%s", key.prefix, serviceName, key.suffix);
        if (n < 0 || size_t(n) >= sizeof path)
            continue;
        if (DeleteMachineKey(path) == 1)
            deleted = true;
    }
    return deleted ? 1 : 0;
}
