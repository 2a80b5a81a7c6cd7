#include "engine/engine.h"
#include "ui/show_message.h"

#include <cstring>
#include <io.h>

namespace {

constexpr short kStatusPathLength = 60;
constexpr size_t kPathSize = 260;
constexpr size_t kWorkSize = 512;
constexpr size_t kDriveRootPatternLength = 6; // "C:\*.*"
constexpr WPARAM kEscapeKey = 27;

class FindGuard {
public:
    explicit FindGuard(HANDLE h) : h_(h) {}
    ~FindGuard()
    {
        if (valid())
            FindClose(h_);
    }
    FindGuard(const FindGuard&) = delete;
    FindGuard& operator=(const FindGuard&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

bool IsDirectory(const WIN32_FIND_DATAA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder part of a pattern: everything before the character that
// precedes the last '.' ("C:\dir\*.*" -> "C:\dir\"). False when the pattern
// holds no '.'.
bool FolderPartOf(const char* pattern, char* folder, size_t size)
{
    const char* dot = strrchr(pattern, '.');
    if (!dot)
        return false;
    size_t keep = dot > pattern ? size_t(dot - pattern) - 1 : 0;
    if (keep >= size)
        keep = size - 1;
    memcpy(folder, pattern, keep);
    folder[keep] = '\0';
    return true;
}

// Drive roots: remember the "\Program Files" folder for the extra walk.
void SetUpProgramFiles(const char* pattern)
{
    if (strlen(pattern) > kDriveRootPatternLength)
        return;
    CopyText(ScanState.programFilesPattern, sizeof ScanState.programFilesPattern, pattern);
    char* colon = strchr(ScanState.programFilesPattern, ':');
    if (!colon)
        return;
    colon[1] = '\0';
    AppendText(ScanState.programFilesPattern, sizeof ScanState.programFilesPattern, "\\Program Files");
    if (_access(ScanState.programFilesPattern, 0) == 0) {
        ScanState.programFilesPending = 1;
        AppendText(ScanState.programFilesPattern, sizeof ScanState.programFilesPattern, "\\*.*");
    }
}

void ShowPath(const char* path)
{
    char full[kWorkSize];
    char shortened[kWorkSize];
    CopyText(full, sizeof full, path);
    ShortenPathForDisplay(full, shortened, kStatusPathLength);
    CopyText(StatusText, sizeof StatusText, shortened);
    SendStatusReport();
}

void RunHandlers(const char* path)
{
    for (const VirusHandler* h = HandlerTable; h->detectionName; ++h)
        if (h->check(h->detectionName, path))
            break;
}

bool PumpAndTestStop()
{
    PumpScanMessages();
    return ScanState.stopRequested != 0;
}

} // namespace

int WalkDirectory(const char* pattern)
{
    ScanState.lastCheckInfected = 0;
    SetUpProgramFiles(pattern);

    char frame[kPathSize];
    if (!CopyText(frame, sizeof frame, pattern))
        return -1; // longer than any path this walker can form

    WIN32_FIND_DATAA data;

    // Files first.
    {
        FindGuard search(FindFirstFileA(frame, &data));
        if (search.valid()) {
            do {
                if (PumpAndTestStop())
                    return 0;
                char path[kPathSize];
                bool formed = true;
                if (ScanState.memoryStageMode) {
                    CopyText(path, sizeof path, frame);
                } else {
                    if (!FolderPartOf(frame, path, sizeof path))
                        return -1;
                    // A name that would not fit cannot be opened by its path
                    // either; such an entry is passed over.
                    formed = AppendText(path, sizeof path, data.cFileName);
                }
                if (formed) {
                    ShowPath(path);
                    if (!IsDirectory(data)) {
                        if (!ScanState.memoryStageMode)
                            ++ScanState.filesScanned;
                        RunHandlers(path);
                    }
                }
                if (PumpAndTestStop())
                    return 0;
            } while (FindNextFileA(search.get(), &data));
        }
    }

    // Then subfolders, depth first.
    char subPattern[kPathSize];
    CopyText(subPattern, sizeof subPattern, frame);
    if (char* dot = strrchr(subPattern, '.'))
        dot[1] = '\0';
    if (!AppendText(subPattern, sizeof subPattern, "*"))
        return ScanState.filesScanned;

    FindGuard search(FindFirstFileA(subPattern, &data));
    if (!search.valid())
        return ScanState.filesScanned;
    do {
        if (PumpAndTestStop())
            return 0;
        if (!IsDirectory(data) || strcmp(data.cFileName, ".") == 0 || strcmp(data.cFileName, "..") == 0)
            continue;
        // A folder link (junction, symbolic link) may lead back up the tree:
        // two such links in one folder double the work at every level. What
        // it leads to on a fixed drive is walked where it really lies.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;
        char nested[kPathSize];
        if (!FolderPartOf(frame, nested, sizeof nested))
            return -1;
        // A folder whose pattern would not fit is left out; its siblings are
        // still walked.
        if (!AppendText(nested, sizeof nested, data.cFileName) || !AppendText(nested, sizeof nested, "\\*.*"))
            continue;
        if (strstr(nested, "\\Program Files\\"))
            ScanState.programFilesVisited = 1;
        if (WalkDirectory(nested) == -1)
            return -1;
    } while (FindNextFileA(search.get(), &data));
    return ScanState.filesScanned;
}

void PumpScanMessages()
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return;
    if (LOWORD(msg.wParam) == kEscapeKey) {
        if (FrontEndAsk(kQuestionStopScan, "Terminate the Scan now?", "Scourix Ver 1.0", MB_YESNO | MB_ICONQUESTION) != IDNO)
            ScanState.stopRequested = 1;
        return;
    }
    if (msg.message == WM_QUIT || msg.message == WM_DESTROY) {
        ScanState.stopRequested = 1;
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void ShortenPathForDisplay(const char* source, char* destination, short maxLength)
{
    constexpr short kMaxDisplayLength = 100;
    if (maxLength < 0)
        maxLength = 0;
    if (maxLength > kMaxDisplayLength)
        maxLength = kMaxDisplayLength;
    const size_t length = strlen(source);
    const int half = maxLength / 2 - 1;
    if (length <= size_t(maxLength) || half <= 0) {
        CopyText(destination, size_t(maxLength) + 1, source);
        return;
    }
    char work[kMaxDisplayLength + 1];
    memset(work, '.', size_t(maxLength));
    memcpy(work, source, size_t(half));
    memcpy(work + maxLength - half, source + length - size_t(half), size_t(half));
    memcpy(destination, work, size_t(maxLength));
    destination[maxLength] = '\0';
}
