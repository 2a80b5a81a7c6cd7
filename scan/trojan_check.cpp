#include "detect/detection.h"
#include "detect/pe_match.h"
#include "detect/rename_rule.h"
#include "detect/text.h"
#include "platform/deferred_removal.h"
#include "platform/handle_guard.h"
#include "scan/engine.h"
#include "scan/memory_stage.h"
#include "scan/product.h"
#include "scan/repair.h"

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
    if (!SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE)) {
        ReportResultLine("%s     %s Unable to remove", StatusText, ScanState.detectedName);
        return;
    }
    if (DeleteFileA(path) || (KillProcessByImage(path) && DeleteFileA(path))) {
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
    char newName[MAX_PATH + 1];
    if (MakeRenamedPath(path, newName, sizeof newName) && MoveFileA(path, newName))
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

    DescriptorGuard file(_open(path, _O_RDONLY | _O_BINARY, _S_IREAD | _S_IWRITE));
    if (!file.valid())
        return 0;
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
