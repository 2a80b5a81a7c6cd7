#include "scan/engine.h"

#include "detect/text.h"
#include "platform/handle_guard.h"
#include "scan/product.h"

#include <cstdlib>
#include <cstring>
#include <io.h>

namespace {

constexpr short kStatusPathLength = 60;
constexpr size_t kPathSize = 260;
constexpr size_t kWorkSize = 512;
constexpr size_t kDriveRootPatternLength = 6; // "C:\*.*"
constexpr WPARAM kEscapeKey = 27;

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
    FrontEndStatus(StatusText, kStatusOffered);
}

void RunHandlers(const char* path, const WIN32_FIND_DATAA& data)
{
    // The listing's size lets the check pass over files no record can match
    // without a second system call for each.
    ScanState.walkedSizeKnown = 1;
    ScanState.walkedSizeLow = data.nFileSizeLow;
    ScanState.walkedSizeHigh = data.nFileSizeHigh;
    for (const VirusHandler* h = HandlerTable; h->detectionName; ++h)
        if (h->check(h->detectionName, path))
            break;
    ScanState.walkedSizeKnown = 0;
}

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

// Walk nesting: the outermost call is one stage of the scan.
int g_walkDepth;

class StageGuard {
public:
    StageGuard() : outermost_(g_walkDepth++ == 0) {}
    ~StageGuard()
    {
        --g_walkDepth;
        if (outermost_)
            FrontEndStatusSettled();
    }
    StageGuard(const StageGuard&) = delete;
    StageGuard& operator=(const StageGuard&) = delete;
    // The first test of a stage attends to the window at once.
    bool StopAsked()
    {
        const bool now = refreshNow_;
        refreshNow_ = false;
        return FrontEndPoll(now);
    }
private:
    bool outermost_;
    bool refreshNow_ = outermost_;
};

// Subfolders met in a folder's one listing, packed names; all lists together
// hold at most kSubfolderBudget bytes, past that the folder is listed again.
constexpr size_t kSubfolderBudget = 4u << 20;
constexpr size_t kSubfolderFirstBlock = 1024;
size_t g_subfolderBytesHeld;

class SubfolderList {
public:
    SubfolderList() = default;
    ~SubfolderList() { Drop(); }
    SubfolderList(const SubfolderList&) = delete;
    SubfolderList& operator=(const SubfolderList&) = delete;
    bool Add(const char* name)
    {
        if (gaveUp_)
            return false;
        const size_t need = strlen(name) + 1;
        if (capacity_ - used_ < need && !Grow(need)) {
            Drop();
            gaveUp_ = true;
            return false;
        }
        memcpy(data_ + used_, name, need);
        used_ += need;
        return true;
    }
    bool gaveUp() const { return gaveUp_; }
    const char* Next(const char* name) const
    {
        if (!data_)
            return nullptr;
        const char* at = name ? name + strlen(name) + 1 : data_;
        return at < data_ + used_ ? at : nullptr;
    }
private:
    bool Grow(size_t need)
    {
        size_t capacity = capacity_ ? capacity_ : kSubfolderFirstBlock;
        while (capacity - used_ < need) {
            if (capacity > kSubfolderBudget)
                return false;
            capacity *= 2;
        }
        const size_t extra = capacity - capacity_;
        if (extra > kSubfolderBudget - g_subfolderBytesHeld)
            return false;
        char* grown = static_cast<char*>(realloc(data_, capacity));
        if (!grown)
            return false;
        data_ = grown;
        capacity_ = capacity;
        g_subfolderBytesHeld += extra;
        return true;
    }
    void Drop()
    {
        free(data_);
        g_subfolderBytesHeld -= capacity_;
        data_ = nullptr;
        capacity_ = used_ = 0;
    }
    char* data_ = nullptr;
    size_t capacity_ = 0;
    size_t used_ = 0;
    bool gaveUp_ = false;
};

int WalkSubfolder(const char* frame, const char* name)
{
    char nested[kPathSize];
    if (!FolderPartOf(frame, nested, sizeof nested))
        return -1;
    if (!AppendText(nested, sizeof nested, name) || !AppendText(nested, sizeof nested, "\\*.*"))
        return 1;
    if (strstr(nested, "\\Program Files\\"))
        ScanState.programFilesVisited = 1;
    return WalkDirectory(nested) == -1 ? -1 : 1;
}

} // namespace

bool IsWalkedSubfolder(const WIN32_FIND_DATAA& data)
{
    if (!IsDirectory(data) || IsDotEntry(data.cFileName))
        return false;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    // Name surrogates (links, junctions, mount points) are skipped; other tags
    // hold real files. Wine 8 lists its links with dwReserved0 = 2 (reserved):
    // no real tag, so such a folder counts as a link.
    const DWORD tag = data.dwReserved0;
    return tag > kReparseTagReservedRange && (tag & kReparseTagNameSurrogate) == 0;
}

int WalkDirectory(const char* pattern)
{
    StageGuard stage;
    ScanState.lastCheckInfected = 0;
    SetUpProgramFiles(pattern);

    char frame[kPathSize];
    if (!CopyText(frame, sizeof frame, pattern))
        return -1;

    char subPattern[kPathSize];
    CopyText(subPattern, sizeof subPattern, frame);
    if (char* dot = strrchr(subPattern, '.'))
        dot[1] = '\0';
    const bool subPatternFits = AppendText(subPattern, sizeof subPattern, "*");
    // A folder pattern lists the subfolders along with the files: they are
    // kept from that one listing and walked after the files, in the same
    // order a second listing would give. A file path (memory stage) still
    // gets its own subfolder search.
    const bool listOnce = subPatternFits && strcmp(subPattern, frame) == 0;
    SubfolderList subfolders;

    WIN32_FIND_DATAA data;
    {
        FindGuard search(FindFirstFileA(frame, &data));
        if (search.valid()) {
            do {
                if (stage.StopAsked())
                    return 0;
                char path[kPathSize];
                bool formed = true;
                if (ScanState.memoryStageMode) {
                    CopyText(path, sizeof path, frame);
                } else {
                    if (!FolderPartOf(frame, path, sizeof path))
                        return -1;
                    formed = AppendText(path, sizeof path, data.cFileName);
                }
                if (formed) {
                    ShowPath(path);
                    if (!IsDirectory(data)) {
                        if (!ScanState.memoryStageMode)
                            ++ScanState.filesScanned;
                        RunHandlers(path, data);
                    }
                }
                if (listOnce && IsWalkedSubfolder(data))
                    subfolders.Add(data.cFileName);
                if (stage.StopAsked())
                    return 0;
            } while (FindNextFileA(search.get(), &data));
        }
    }

    if (listOnce && !subfolders.gaveUp()) {
        for (const char* name = subfolders.Next(nullptr); name; name = subfolders.Next(name)) {
            if (stage.StopAsked())
                return 0;
            if (WalkSubfolder(frame, name) == -1)
                return -1;
        }
        return ScanState.filesScanned;
    }

    // Past the budget for kept names the folder is listed a second time.
    if (!subPatternFits)
        return ScanState.filesScanned;
    FindGuard search(FindFirstFileA(subPattern, &data));
    if (!search.valid())
        return ScanState.filesScanned;
    do {
        if (stage.StopAsked())
            return 0;
        if (!IsWalkedSubfolder(data))
            continue;
        if (WalkSubfolder(frame, data.cFileName) == -1)
            return -1;
    } while (FindNextFileA(search.get(), &data));
    return ScanState.filesScanned;
}

void PumpScanMessages()
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return;
    // Only the key going down: its release, or any message whose wParam
    // merely holds 27 (mouse-key flags, a handle), would ask again.
    if (msg.message == WM_KEYDOWN && msg.wParam == kEscapeKey) {
        // The question must not stand over a label that lags behind the walk.
        FrontEndStatusSettled();
        if (FrontEndAsk(kQuestionStopScan, "Terminate the Scan now?", kProductCaption, MB_YESNO | MB_ICONQUESTION) != IDNO)
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
