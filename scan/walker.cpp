#include "scan/engine.h"

#include "detect/text.h"
#include "detect/utf8.h"
#include "platform/handle_guard.h"
#include "platform/long_path.h"
#include "scan/product.h"

#include <cstdlib>
#include <cstring>
#include <io.h>
#include <new>

namespace {

constexpr short kStatusPathLength = 60;
constexpr size_t kDriveRootPatternLength = 6; // "C:\*.*"
constexpr WPARAM kEscapeKey = 27;
// A listed name in UTF-8: at most MAX_PATH - 1 units, three bytes each.
constexpr size_t kNameSize = MAX_PATH * 3 + 1;
// The walk's one path buffer: the longest path the wide functions take, and
// room for the "\*.*" a folder's pattern adds.
constexpr size_t kWalkPathSize = kLongPathUtf8Size + 8;

template <typename FindData>
bool IsDirectory(const FindData& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Length of the folder part of a pattern: everything before the character
// that precedes the last '.' ("C:\dir\*.*" -> "C:\dir\"). False when the
// pattern holds no '.'.
bool FolderPartLength(const char* pattern, size_t* length)
{
    const char* dot = strrchr(pattern, '.');
    if (!dot)
        return false;
    *length = dot > pattern ? size_t(dot - pattern) - 1 : 0;
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
    ShortenPathForDisplay(path, StatusText, kStatusPathLength);
    FrontEndStatus(StatusText, kStatusOffered);
}

void RunHandlers(const char* path, const WIN32_FIND_DATAW& data)
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
bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

template <typename FindData>
bool IsWalkedFolderEntry(const FindData& data)
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

// The UTF-8 name of a listed entry. Where the names pass through the ANSI
// code page (Windows 9x), a '?' marks a character the code page lacks and the
// name reaches no file: the short name does. False when no usable name fits.
bool EntryName(const WIN32_FIND_DATAW& data, char* name)
{
    const wchar_t* listed = data.cFileName;
    if (!LongPathsAvailable() && wcschr(listed, L'?') && data.cAlternateFileName[0])
        listed = data.cAlternateFileName;
    return WideNameToUtf8(listed, name, kNameSize);
}

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

// Subfolders met in a folder's one listing, packed UTF-8 names; all lists
// together hold at most kSubfolderBudget bytes, past that the folder is
// listed again.
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

// One folder on the way down. The walk keeps these on the heap, not the
// stack, since a tree may be thousands of folders deep.
struct Level {
    Level* parent = nullptr;
    // Bytes of the walk's path that are this folder's part (trailing '\').
    size_t folderLength = 0;
    SubfolderList subfolders;
    const char* nextKept = nullptr;
    bool started = false;
    // Past the budget for kept names the folder is listed a second time.
    FindGuard relist;
};

// The walk of one pattern: a path buffer extended and cut back per level,
// one find record and one name buffer shared by all levels (each is used up
// before a level below starts).
class Walk {
public:
    explicit Walk(StageGuard& stage) : stage_(stage) {}
    ~Walk()
    {
        while (top_)
            Pop();
        free(path_);
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    int Run(const char* pattern)
    {
        path_ = static_cast<char*>(malloc(kWalkPathSize));
        if (!path_)
            return -1;
        if (!CopyText(path_, kWalkPathSize, pattern))
            return -1;
        const size_t patternLength = strlen(path_);
        size_t folderLength = 0;
        const bool folderKnown = FolderPartLength(path_, &folderLength);

        // The subfolder pattern: the pattern cut after its last '.', then
        // "*" (a pattern ending in "*.*" comes out unchanged).
        const char* dot = strrchr(path_, '.');
        const size_t subLength = dot ? size_t(dot - path_) + 1 : patternLength;
        const bool listOnce = subLength + 1 == patternLength && path_[subLength] == '*';

        Level* top = Push(folderKnown ? folderLength : 0);
        if (!top)
            return -1;
        int result = FilePass(top, folderKnown, listOnce);
        if (result != 1)
            return result;
        if (!listOnce) {
            // A file path (memory stage): its own subfolder search, "tool.*".
            CopyText(path_, kWalkPathSize, pattern);
            path_[subLength] = '\0';
            if (!AppendText(path_, kWalkPathSize, "*"))
                return ScanState.filesScanned;
            top->relist.reset(FindFirstFileLong(path_, &data_));
            if (!top->relist.valid())
                return ScanState.filesScanned;
            top->started = true;
            if (!folderKnown) {
                // Any subfolder found needs the folder part the pattern lacks.
                do {
                    if (stage_.StopAsked())
                        return 0;
                    if (IsWalkedFolderEntry(data_))
                        return -1;
                } while (FindNextFileLong(top->relist.get(), &data_));
                return ScanState.filesScanned;
            }
            path_[folderLength] = '\0';
            top->nextKept = nullptr;
            return Descend(true);
        }
        return Descend(false);
    }

private:
    Level* Push(size_t folderLength)
    {
        Level* level = new (std::nothrow) Level;
        if (!level)
            return nullptr;
        level->parent = top_;
        level->folderLength = folderLength;
        top_ = level;
        return level;
    }
    void Pop()
    {
        Level* level = top_;
        top_ = level->parent;
        delete level;
    }

    // Lists the pattern in path_: every entry shown, every file counted and
    // checked, the walked subfolders kept (listOnce). 1 to go on, 0 after a
    // stop, -1 when no path can be formed. path_ holds the level's folder
    // part afterwards.
    int FilePass(Level* level, bool folderKnown, bool listOnce)
    {
        FindGuard search(FindFirstFileLong(path_, &data_));
        const size_t patternLength = strlen(path_);
        if (search.valid()) {
            do {
                if (stage_.StopAsked())
                    return 0;
                if (ScanState.memoryStageMode) {
                    // The handlers get exactly the path they were given.
                    path_[patternLength] = '\0';
                    VisitEntry();
                } else {
                    if (!folderKnown)
                        return -1;
                    if (EntryName(data_, name_)) {
                        path_[level->folderLength] = '\0';
                        if (AppendText(path_, kWalkPathSize, name_))
                            VisitEntry();
                    }
                }
                if (listOnce && IsWalkedFolderEntry(data_) && EntryName(data_, name_))
                    level->subfolders.Add(name_);
                if (stage_.StopAsked())
                    return 0;
            } while (FindNextFileLong(search.get(), &data_));
        }
        path_[level->folderLength] = '\0';
        return 1;
    }

    void VisitEntry()
    {
        ShowPath(path_);
        if (!IsDirectory(data_)) {
            if (!ScanState.memoryStageMode)
                ++ScanState.filesScanned;
            RunHandlers(path_, data_);
        }
    }

    // The next subfolder of the top level into name_, from its kept list or
    // its second listing; false when there is none. 0 in *stopped after a
    // stop request.
    bool NextSubfolder(Level* level, bool* stopped)
    {
        if (stage_.StopAsked()) {
            *stopped = true;
            return false;
        }
        if (!level->relist.valid() && level->subfolders.gaveUp() && !level->started) {
            level->started = true;
            path_[level->folderLength] = '\0';
            if (!AppendText(path_, kWalkPathSize, "*.*"))
                return false;
            level->relist.reset(FindFirstFileLong(path_, &data_));
            path_[level->folderLength] = '\0';
            if (!level->relist.valid())
                return false;
            if (IsWalkedFolderEntry(data_) && EntryName(data_, name_))
                return true;
            if (stage_.StopAsked()) {
                *stopped = true;
                return false;
            }
        }
        if (level->relist.valid()) {
            for (;;) {
                if (level->started && !FindNextFileLong(level->relist.get(), &data_))
                    return false;
                level->started = true;
                if (IsWalkedFolderEntry(data_) && EntryName(data_, name_))
                    return true;
                if (stage_.StopAsked()) {
                    *stopped = true;
                    return false;
                }
            }
        }
        level->nextKept = level->subfolders.Next(level->nextKept);
        if (!level->nextKept)
            return false;
        CopyText(name_, kNameSize, level->nextKept);
        return true;
    }

    // Walks the subfolders of the top level and everything below them, depth
    // first, each folder's files before its own subfolders.
    int Descend(bool firstFromListing)
    {
        if (firstFromListing) {
            // The search already holds its first entry.
            top_->started = false;
        }
        const Level* outermost = top_;
        for (;;) {
            Level* level = top_;
            bool stopped = false;
            path_[level->folderLength] = '\0';
            if (!NextSubfolder(level, &stopped)) {
                if (stopped)
                    return 0;
                if (level == outermost)
                    return ScanState.filesScanned;
                Pop();
                continue;
            }
            // The nested pattern: folder, name, "\*.*".
            path_[level->folderLength] = '\0';
            if (!AppendText(path_, kWalkPathSize, name_) || !AppendText(path_, kWalkPathSize, "\\*.*"))
                continue;
            if (strstr(path_, "\\Program Files\\"))
                ScanState.programFilesVisited = 1;
            // Each folder walked clears the flag, as a walk of its own would.
            ScanState.lastCheckInfected = 0;
            const size_t nestedFolder = strlen(path_) - 3;
            Level* nested = Push(nestedFolder);
            if (!nested)
                return -1;
            const int result = FilePass(nested, true, true);
            if (result != 1)
                return result;
        }
    }

    StageGuard& stage_;
    Level* top_ = nullptr;
    char* path_ = nullptr;
    WIN32_FIND_DATAW data_;
    char name_[kNameSize];
};

} // namespace

bool IsWalkedSubfolder(const WIN32_FIND_DATAA& data) { return IsWalkedFolderEntry(data); }
bool IsWalkedSubfolder(const WIN32_FIND_DATAW& data) { return IsWalkedFolderEntry(data); }

int WalkDirectory(const char* pattern)
{
    StageGuard stage;
    ScanState.lastCheckInfected = 0;
    SetUpProgramFiles(pattern);
    Walk walk(stage);
    return walk.Run(pattern);
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
    // Characters, not bytes: a cut never splits a UTF-8 sequence.
    const size_t length = Utf8CharCount(source);
    const int half = maxLength / 2 - 1;
    if (length <= size_t(maxLength) || half <= 0) {
        const size_t bytes = Utf8OffsetOfChar(source, size_t(maxLength));
        memcpy(destination, source, bytes);
        destination[bytes] = '\0';
        return;
    }
    const size_t headBytes = Utf8OffsetOfChar(source, size_t(half));
    const size_t tailStart = Utf8OffsetOfChar(source, length - size_t(half));
    const size_t tailBytes = strlen(source + tailStart);
    const size_t dots = size_t(maxLength) - 2 * size_t(half);
    char* out = destination;
    memcpy(out, source, headBytes);
    out += headBytes;
    memset(out, '.', dots);
    out += dots;
    memcpy(out, source + tailStart, tailBytes);
    out[tailBytes] = '\0';
}
