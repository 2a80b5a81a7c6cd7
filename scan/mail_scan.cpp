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

// The pattern is kept scrambled so that this program's own image never
// carries the plain signature bytes for other scanners to flag.
MailSignatureRecord MailSignature = {
    "W32/Nyxem.Worm",
    134042,
    1888,
    100,
    0,
    {0x26, 0x5F, 0x3D, 0x46, 0x24, 0x56, 0x5C, 0x42, 0x22, 0x55, 0x49, 0x4A, 0x2D, 0x51, 0x5C,
     0x2A, 0x3F, 0x56, 0x5C, 0x42, 0x2E, 0x43, 0x4D, 0x3A, 0x22, 0x50, 0x2D, 0x5F, 0x31, 0x43,
     0x4D, 0x2A, 0x2A, 0x57, 0x2D, 0x3E, 0x27, 0x52, 0x5C, 0x46, 0x38, 0x43, 0x4C, 0x5A, 0x2E,
     0x55, 0x4C, 0x5B, 0x2B, 0x57, 0x3C, 0x5A, 0x2A, 0x50, 0x2D, 0x5A, 0x22, 0x50, 0x2D, 0x57,
     0x2B, 0x26, 0x51, 0x5D, 0x33, 0x2B, 0x52, 0x2D, 0x36, 0x39, 0x43, 0x4D, 0x4E, 0x25, 0x43,
     0x4D, 0x5E, 0x25, 0x53, 0x3D, 0x36, 0x2F, 0x52, 0x5D, 0x5B, 0x2B, 0x50, 0x5D, 0x4E, 0x22,
     0x50, 0x49, 0x4A, 0x2A, 0x56, 0x4C, 0x5A, 0x2A, 0x53, 0x3D},
    1,
    4,
    18,
    0,
    {},
};
unsigned char MailSignatureDescrambled;

namespace {

// Name of the signature that matched last.
char g_matchedName[sizeof MailSignature.name + 1];

bool ReadExactly(int fd, uint8_t* buffer, size_t count)
{
    int got = _read(fd, buffer, static_cast<unsigned>(count));
    return got >= 0 && static_cast<size_t>(got) == count;
}

// Reads the head and tail blocks the matcher looks at and applies the record.
bool MatchOpenFile(int fd)
{
    if (!StartsWithBegin(fd))
        return false;
    const long fileLength = _filelength(fd);
    if (fileLength < 0)
        return false;

    static uint8_t rawHead[kMailBlockSize];
    static uint8_t rawTail[kMailBlockSize];
    if (static_cast<unsigned long>(fileLength) < kMailBlockSize) {
        const size_t n = static_cast<size_t>(fileLength);
        if (_lseek(fd, 0, SEEK_SET) != 0 || !ReadExactly(fd, rawHead, n))
            return false;
        return MatchMailBlocks(MailSignature, rawHead, nullptr, n, fileLength);
    }
    if (_lseek(fd, 0, SEEK_SET) != 0 || !ReadExactly(fd, rawHead, kMailBlockSize))
        return false;
    const long tailStart = fileLength - static_cast<long>(kMailBlockSize);
    if (_lseek(fd, tailStart, SEEK_SET) != tailStart || !ReadExactly(fd, rawTail, kMailBlockSize))
        return false;
    return MatchMailBlocks(MailSignature, rawHead, rawTail, kMailBlockSize, fileLength);
}

} // namespace

void DescrambleSignature()
{
    if (MailSignatureDescrambled)
        return;
    size_t count = MailSignature.length;
    if (count > sizeof MailSignature.pattern)
        count = sizeof MailSignature.pattern;
    for (size_t i = 0; i < count; ++i)
        MailSignature.pattern[i] ^= kMailScrambleKey;
    MailSignatureDescrambled = 1;
}

int StartsWithBegin(int fd)
{
    if (_filelength(fd) < 0 || _lseek(fd, 0, SEEK_SET) != 0)
        return 0;
    uint8_t word[5];
    if (!ReadExactly(fd, word, sizeof word))
        return 0;
    return HasBeginWord(word, sizeof word) ? 1 : 0;
}

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
        if (MatchOpenFile(file.get())) {
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
