// The two process listings of the memory stage: each image is checked through
// the walker in memory-stage mode, infected processes are ended and their
// image files acted on by a forced second walk.
#include "scan/memory_stage.h"

#include "detect/text.h"
#include "platform/handle_guard.h"
#include "platform/long_path.h"
#include "platform/platform_probe.h"
#include "platform/process_list.h"
#include "platform/services.h"
#include "scan/engine.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr DWORD kTerminateRights = PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION; // 0x401

// The access test for read permission that decides whether an image is
// walked, by the exact name the listing gave (UTF-8): the wide call with the
// "\\?\" prefix on the NT family, the ANSI one on the 9x family.
bool ImageReadable(const char* path)
{
    return GetFileAttributesLong(path) != INVALID_FILE_ATTRIBUTES;
}

// 1 when the process could be opened for termination and was terminated.
bool TerminateById(DWORD processId)
{
    HandleGuard process(OpenProcess(kTerminateRights, FALSE, processId));
    return process.get() && TerminateProcess(process.get(), 0);
}

// Second walk of an infected image: the trojan check acts on the file by
// ActionMode without matching it again.
int ForcedWalk(const char* imagePath)
{
    // A copy whatever the length: the walk may report into buffers the
    // listing's text must not share.
    const size_t size = strlen(imagePath) + 1;
    std::unique_ptr<char[]> path(new (std::nothrow) char[size]);
    if (!path)
        return 0;
    memcpy(path.get(), imagePath, size);
    ScanState.forcedAction = ActionMode;
    int result = WalkDirectory(path.get());
    ScanState.forcedAction = 0;
    return result;
}

void EnableDebugPrivilege()
{
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
        FrontEndNotice("false", "TEMP");
        rawToken = nullptr;
    }
    HandleGuard token(rawToken);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid))
        return;
    if (token.get())
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// The service the trojan registers carries its image's file name without the
// extension: the text after the last backslash, cut at the last dot. False
// when it does not fit (a cut name could be another service's).
bool ServiceNameFromImage(const char* imagePath, char* name, size_t size)
{
    const char* slash = strrchr(imagePath, '\\');
    if (!CopyText(name, size, slash ? slash + 1 : imagePath))
        return false;
    char* dot = strrchr(name, '.');
    if (dot)
        *dot = '\0';
    return true;
}

} // namespace

void ScanProcessesToolhelp()
{
    ProcessList list;
    if (ListProcessesToolhelp(list) != kListed)
        return;

    for (ProcessRecord* record = list.head(); record; record = record->next) {
        ScanState.lastCheckInfected = 0;
        if (ImageReadable(record->imagePath))
            WalkDirectory(record->imagePath);
        if (!ScanState.lastCheckInfected)
            continue;
        if (ActionMode == kActionLeave)
            continue;
        TerminateById(record->processId);
        // On this family the file is acted on even when the process survived.
        ForcedWalk(record->imagePath);
    }
}

short ScanProcessesPsapi()
{
    // Processes of other accounts open once the debug privilege is on.
    ProcessList list;
    if (ListProcessesPsapi(list, EnableDebugPrivilege) != kListed)
        return 0;

    short result = 0;
    for (ProcessRecord* record = list.head(); record; record = record->next) {
        result = 0;
        ScanState.lastCheckInfected = 0;
        if (ImageReadable(record->imagePath))
            result = short(WalkDirectory(record->imagePath));
        if (!ScanState.lastCheckInfected)
            continue;
        if (ActionMode != kActionDelete && ActionMode != kActionRename && ActionMode != kActionDeleteToo)
            continue;

        if (TerminateById(record->processId))
            result = 1;
        // A second attempt, whatever the first did: only a process that
        // survives both has its service dealt with.
        bool ended = TerminateById(record->processId);
        if (!ended) {
            int ntVersion = GetNtVersionCode();
            if (ntVersion == 5 || ntVersion == 6) {
                // UTF-8: a file name has at most 255 characters of three bytes.
                char serviceName[1024];
                if (ServiceNameFromImage(record->imagePath, serviceName, sizeof serviceName)) {
                    if (StopServiceByNameUtf8(serviceName)) {
                        DeleteServiceRegistrationUtf8(serviceName);
                        ended = true;
                    } else {
                        DeleteServiceRegistrationUtf8(serviceName);
                        ScanState.memoryRestartNeeded = 1;
                    }
                }
            }
            if (!ended && result == 0)
                continue;
        }
        result = short(ForcedWalk(record->imagePath));
    }
    return result;
}
