#include "scan/memory_stage.h"

#include "platform/long_path.h"
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "scan/front_end.h"

int KillProcessByImage(const char* path)
{
    int result;
    switch (GetPlatformCode()) {
    case 4: {
        // Toolhelp names images in the code page; the path is UTF-8.
        char ansiPath[MAX_PATH];
        result = Utf8ToAnsiPath(path, ansiPath, sizeof ansiPath) ? KillByExeNameToolhelp(ansiPath) : 0;
        break;
    }
    case 5:
        if (GetNtVersionCode() == 6)
            return KillByPathPsapi(path) ? 1 : 0; // never a message on this branch
        result = KillByNamePerfData(path);
        break;
    default:
        return 1;
    }
    if (result == 0) {
        FrontEndNotice("Could not kill process", path);
        return 0;
    }
    return 1;
}
