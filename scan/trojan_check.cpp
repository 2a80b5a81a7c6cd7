#include "detect/detection.h"
#include "detect/pe_match.h"
#include "detect/rename_rule.h"
#include "detect/text.h"
#include "platform/deferred_removal.h"
#include "platform/handle_guard.h"
#include "platform/long_path.h"
#include "scan/engine.h"
#include "scan/memory_stage.h"
#include "scan/product.h"
#include "scan/repair.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

const VirusHandler HandlerTable[] = {
    {kTrojanReportName, CheckTrojanFile},
    {nullptr, nullptr},
};

namespace {

constexpr size_t kAutoStartNameClearedBytes = 128;
constexpr DWORD kForcedActionWaitMs = 1000;

// A file no record's size rule can accept cannot match, so opening it would
// change nothing. The walker's listing gives the size; other callers (the
// memory stage) let the open decide.
bool LengthCanMatch()
{
    if (!ScanState.walkedSizeKnown)
        return true;
    if (ScanState.walkedSizeHigh != 0)
        return false;
    return AnyRecordAcceptsLength(int64_t(ScanState.walkedSizeLow));
}

void DeleteInfected(const char* path, const char* name)
{
    if (!FrontEndMayRemove(path, name)) {
        ReportResultLine("%s     %s Unable to remove", path, name);
        return;
    }
    if (!SetFileAttributesLong(path, FILE_ATTRIBUTE_ARCHIVE)) {
        ReportResultLine("%s     %s Unable to remove", StatusText, ScanState.detectedName);
        return;
    }
    if (DeleteFileLong(path) || (KillProcessByImage(path) && DeleteFileLong(path))) {
        ++ScanState.filesRemoved;
        ReportResultLine("%s     %s removed", path, name);
        return;
    }
    ReportResultLine("%s     %s Unable to remove", path, name);
    // Only ever set: a later request that fails must not hide an earlier
    // file that is already waiting for the restart.
    if (ScheduleRemovalAtRestart(path))
        ScanState.rebootNeeded = 1;
}

void RenameInfected(const char* path, const char* name)
{
    static char newName[kLongPathUtf8Size + 1];
    if (MakeRenamedPath(path, newName, sizeof newName) && MoveFileLong(path, newName))
        ReportResultLine("%s     %s renamed", path, name);
    else
        ReportResultLine("%s     %s Rename failed", path, name);
}

// What is done with an infected file, by ActionMode.
void ActOnInfected(const char* path, const char* name)
{
    switch (ActionMode) {
    case kActionDelete:
    case kActionDeleteToo:
        DeleteInfected(path, name);
        break;
    case kActionRename:
        RenameInfected(path, name);
        break;
    case kActionLeave:
        ReportResultLine("%s     %s not disinfected as per user's selection", StatusText,
                         ScanState.detectedName);
        break;
    default:
        break;
    }
}

// Opens the file by its exact name for the descriptor calls the matching
// uses; -1 with the system's error when it cannot be opened.
int OpenForCheck(const char* path, DWORD* error)
{
    HANDLE h = OpenFileForReadingLong(path);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return -1;
    }
    const int fd = _open_osfhandle(intptr_t(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        *error = ERROR_TOO_MANY_OPEN_FILES;
        CloseHandle(h);
    }
    return fd;
}

void ReportNotChecked(const char* path, DWORD error)
{
    char reason[40];
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        CopyText(reason, sizeof reason, "sharing violation");
        break;
    case ERROR_ACCESS_DENIED:
        CopyText(reason, sizeof reason, "access denied");
        break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        CopyText(reason, sizeof reason, "gone");
        break;
    default:
        snprintf(reason, sizeof reason, "error %lu", static_cast<unsigned long>(error));
        break;
    }
    FrontEndNotChecked(path, reason);
}

} // namespace

int CheckTrojanFile(const char* detectionName, const char* path)
{
    // Second pass over a running trojan's image: act without matching again.
    if (ScanState.forcedAction != 0 && FrontEndAttached()) {
        ActionMode = ScanState.forcedAction;
        ReportResultLine("System Memory    %s removed", kTrojanReportName);
        Sleep(kForcedActionWaitMs);
        ActOnInfected(path, detectionName);
        return 0;
    }

    if (ScanState.filesInfected == 0)
        memset(ScanState.autoStartValueName, 0, kAutoStartNameClearedBytes);

    if (!LengthCanMatch())
        return 0;

    DWORD openError = 0;
    DescriptorGuard file(OpenForCheck(path, &openError));
    if (!file.valid()) {
        // The memory stage's images are walked again in the file stage.
        if (!ScanState.memoryStageMode)
            ReportNotChecked(path, openError);
        return 0;
    }
    memset(ScanState.currentFilePath, 0, sizeof ScanState.currentFilePath);
    CopyText(ScanState.currentFilePath, sizeof ScanState.currentFilePath, path);

    const long length = _filelength(file.get());
    int record = -1;
    if (length >= 0)
        record = FindMatchingRecord(file.get(), int32_t(length));
    file.Close();

    if (record < 0) {
        ScanState.currentFilePath[0] = '\0';
        return 0;
    }

    // Once the file is closed no later record can match, so the first match
    // is the only one.
    const char* name = DetectionTable[record].name;
    ++ScanState.filesInfected;
    RepairAutoStart(name);
    CopyText(ScanState.detectedName, sizeof ScanState.detectedName, name);
    CopyText(StatusText, sizeof StatusText, path);
    if (ScanState.memoryStageMode) {
        ScanState.lastCheckInfected = 1;
    } else {
        ActOnInfected(path, name);
    }
    ScanState.currentFilePath[0] = '\0';
    return 1;
}
