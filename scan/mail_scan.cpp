#include "scan/mail_scan.h"

#include "detect/rename_rule.h"
#include "detect/text.h"
#include "platform/handle_guard.h"
#include "scan/engine.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

// Name of the signature that matched last.
char g_matchedName[sizeof MailSignature.name + 1];

} // namespace

int ScanMailAttachment(const char* /*detectionName*/, const char* path)
{
    DescrambleSignature();
    if (!path)
        return 0;

    bool matched = false;
    {
        DescriptorGuard file(_open(path, _O_RDONLY | _O_BINARY, _S_IREAD | _S_IWRITE));
        if (!file.valid())
            return 0;
        if (MatchMailFile(file.get(), _filelength(file.get()))) {
            ++ScanState.filesInfected;
            CopyText(g_matchedName, sizeof g_matchedName, MailSignature.name);
            CopyText(ScanState.detectedName, sizeof ScanState.detectedName, g_matchedName);
            CopyText(StatusText, sizeof StatusText, path);
            matched = true;
        }
    }
    if (!matched)
        return 0;

    switch (ActionMode) {
    case kActionDelete:
    case kActionDeleteToo:
        if (FrontEndMayRemove(path, g_matchedName) && DeleteFileA(path)) {
            ++ScanState.filesRemoved;
            ReportResultLine("%s     %s removed", path, g_matchedName);
        } else {
            ReportResultLine("%s     %s Remove failed", path, g_matchedName);
        }
        break;
    case kActionRename: {
        char renamed[MAX_PATH + 1];
        if (MakeRenamedPath(path, renamed, sizeof renamed) && MoveFileA(path, renamed))
            ReportResultLine("%s     %s renamed", path, g_matchedName);
        else
            ReportResultLine("%s     %s Rename failed", path, g_matchedName);
        break;
    }
    case kActionLeave:
        ReportResultLine("%s     %s Not Disinfected As Per User's Selection", StatusText,
                         ScanState.detectedName);
        break;
    default:
        break;
    }
    return 1;
}
