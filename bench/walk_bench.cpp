// The shipped program against a bare walk of the same drive, driven from
// outside: the real scourix64.exe (or scourix.exe) with its real dialog is
// started, SCAN is pressed from this process, and the scan is timed until the
// final status shows. Beside it a bare FindFirstFileA/FindNextFileA walk of
// the same drive runs in a process of its own. Both are measured once with a
// generated tree on C: and once without it, in the same run, so that the
// fixed costs of the prefix (start, the scan's timer, the memory stage, the
// prefix's own files) come off both sides: the ratio is that of the tree's
// marginal times.
//
//   walk_bench.exe PROGRAM [files] [seed]    (defaults: 50000 files, seed 1)
//
// PROGRAM is the shipped GUI program's path on C:. Two trees are generated
// afresh from the seed: 0.4% and 4% of the files at a record's exact length
// (their patterns spoiled, so they are read and never removed). A secondary
// figure times the parts of one entry inside this process.
#include "detect/detection.h"
#include "detect/pe_match.h"
#include "detect/text.h"
#include "scan/engine.h"
#include "scan/product.h"
#include "tests/app/scourix_driver.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "ui/dialog_front_end.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

constexpr int kRuns = 3;
constexpr int kScanButton = 1052;
constexpr int kStatusLabel = 1065;
constexpr int kOkButton = 1070;

// Small fixed generator, so the tree does not depend on the C runtime.
struct Random {
    uint32_t state;
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

struct TreeStats {
    int files = 0, folders = 0, textFiles = 0, peFiles = 0, recordSized = 0;
    uint64_t bytes = 0;
};

// Folders nest up to four levels, 8 to 40 files each; one file in 25 is a
// clean PE program, one in recordOneIn a PE file at a record's exact length
// whose pattern is spoiled (so it is read and never removed).
TreeStats Generate(const std::string& root, int total, uint32_t seed, uint32_t recordOneIn)
{
    Random rnd{seed ? seed : 1};
    TreeStats stats;
    std::vector<std::string> folders{root};
    MakeDirs(root);
    std::vector<std::vector<uint8_t>> recordFiles;
    for (int r = 0; r < kDetectionRecordCount; ++r)
        recordFiles.push_back(BuildSample(r, SampleKind::PatternByteChanged));
    std::vector<std::vector<uint8_t>> programs;
    for (uint32_t len : {1024u, 4096u, 9000u, 20000u, 65536u})
        programs.push_back(BuildCleanProgram(len));

    std::string folder = root;
    int depth = 0, leftInFolder = 0;
    while (stats.files < total) {
        if (leftInFolder == 0) {
            // Down one level, or back to a random earlier folder.
            if (depth < 4 && rnd.Below(3) != 0) {
                folder = folder + "\\d" + std::to_string(stats.folders);
                ++depth;
            } else {
                folder = folders[rnd.Below(uint32_t(folders.size()))] + "\\n" + std::to_string(stats.folders);
                depth = int(std::count(folder.begin() + long(root.size()), folder.end(), '\\'));
            }
            if (folder.size() > 200) {
                folder = root + "\\r" + std::to_string(stats.folders);
                depth = 1;
            }
            CreateDirectoryA(folder.c_str(), nullptr);
            folders.push_back(folder);
            ++stats.folders;
            leftInFolder = 8 + int(rnd.Below(33));
        }
        --leftInFolder;
        const int n = stats.files++;
        if (rnd.Below(recordOneIn) == 0) {
            const auto& b = recordFiles[rnd.Below(kDetectionRecordCount)];
            WriteBytes(folder + "\\prog" + std::to_string(n) + ".exe", b);
            ++stats.recordSized;
            stats.bytes += b.size();
        } else if (rnd.Below(25) == 0) {
            const auto& b = programs[rnd.Below(uint32_t(programs.size()))];
            WriteBytes(folder + "\\tool" + std::to_string(n) + ".dll", b);
            ++stats.peFiles;
            stats.bytes += b.size();
        } else {
            std::string text;
            const uint32_t len = 40 + rnd.Below(2000);
            while (text.size() < len)
                text += "line " + std::to_string(rnd.Next()) + "\r\n";
            WriteText(folder + "\\note" + std::to_string(n) + ".txt", text);
            ++stats.textFiles;
            stats.bytes += text.size();
        }
    }
    return stats;
}

int BareWalk(const std::string& folder)
{
    int files = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)
                files += BareWalk(folder + "\\" + fd.cFileName);
        } else {
            ++files;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return files;
}

double Now()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return double(t.QuadPart) / double(f.QuadPart);
}

double MegaBytes(SIZE_T bytes) { return double(bytes) / (1024.0 * 1024.0); }

PROCESS_MEMORY_COUNTERS MemoryOf(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(process, &m, sizeof m);
    return m;
}

std::string SelfPath()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    return self;
}

ProcessGuard Start(const std::string& command)
{
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ProcessGuard();
    return ProcessGuard(pi);
}

struct Bare {
    bool ok = false;
    double seconds = 0; // process start to end, the walk of C: inside
    int files = 0;
    double peakMb = 0;
};

// A process of its own that lists every file of C:, writes its file count
// and peak working set to `out` and ends.
int BareChild(const char* drive, const char* out)
{
    const int files = BareWalk(drive);
    FILE* f = fopen(out, "w");
    if (!f)
        return 1;
    fprintf(f, "%d %.3f\n", files, MegaBytes(MemoryOf(GetCurrentProcess()).PeakWorkingSetSize));
    return fclose(f) == 0 ? 0 : 1;
}

Bare RunBare()
{
    Bare r;
    const std::string out = ScratchDir() + "\\bare_result.txt";
    DeleteFileA(out.c_str());
    const double t0 = Now();
    ProcessGuard child = Start("\"" + SelfPath() + "\" --bare C: \"" + out + "\"");
    if (!child.valid())
        return r;
    const long code = child.WaitExit(600000);
    r.seconds = Now() - t0;
    FILE* f = fopen(out.c_str(), "r");
    if (!f)
        return r;
    r.ok = code == 0 && fscanf(f, "%d %lf", &r.files, &r.peakMb) == 2 && r.files > 0;
    fclose(f);
    return r;
}

struct Scan {
    bool ok = false;
    double seconds = 0; // SCAN pressed to the final status
    double idleMb = 0, peakMb = 0;
    int lines = 0;
    std::string status;
};

// The shipped program: started, SCAN pressed, timed until it shows its final
// status; its memory read before it is closed with OK.
Scan RunScan(const std::string& program)
{
    Scan r;
    ProcessGuard app = StartScourix(program);
    if (!app.valid())
        return r;
    HWND dialog = WaitForMainWindow(app.pid(), 60000);
    if (!dialog)
        return r;
    WaitForInputIdle(app.handle(), 5000);
    Sleep(300); // the idle window has painted itself
    r.idleMb = MegaBytes(MemoryOf(app.handle()).WorkingSetSize);
    const double t0 = Now();
    PressButton(dialog, kScanButton);
    while (!ScanFinished(dialog)) {
        if (!app.IsRunning() || Now() - t0 > 900)
            return r;
        Sleep(2);
    }
    r.seconds = Now() - t0;
    r.peakMb = MegaBytes(MemoryOf(app.handle()).PeakWorkingSetSize);
    r.status = ControlText(dialog, kStatusLabel);
    r.lines = ResultLineCount(dialog);
    PressButton(dialog, kOkButton);
    if (app.WaitExit(10000) < 0)
        app.Stop();
    r.ok = r.status == "Scanning completed";
    return r;
}

struct Round {
    Bare bare;
    Scan scan;
};

// Best of kRuns each, bare walk and scan alternating.
bool Measure(const std::string& program, Round& best)
{
    for (int run = 0; run < kRuns; ++run) {
        Bare b = RunBare();
        Scan s = RunScan(program);
        if (!b.ok || !s.ok) {
            printf("  run %d failed (bare walk %s, scan %s, status \"%s\")\n", run + 1, b.ok ? "ok" : "failed",
                   s.ok ? "ok" : "failed", s.status.c_str());
            return false;
        }
        printf("  run %d: bare walk %.3f s (%d files), scan %.3f s\n", run + 1, b.seconds, b.files, s.seconds);
        fflush(stdout);
        if (run == 0 || b.seconds < best.bare.seconds)
            best.bare = b;
        if (run == 0 || s.seconds < best.scan.seconds)
            best.scan = s;
        // Memory is a property of the run, not of its speed: the highest.
        best.scan.peakMb = std::max(best.scan.peakMb, s.peakMb);
        best.bare.peakMb = std::max(best.bare.peakMb, b.peakMb);
    }
    return true;
}

// Where an entry's time goes: each part of the scan's work for one entry,
// timed alone in this process with a shown label behind the dialog's front end.
void PrintParts(const std::string& root)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 80, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND label = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 600, 20, window, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ScanState.mainWindow = window; // its default procedure ignores the reports
    FrontEndScope scope(DialogFrontEnd());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);

    constexpr int kReps = 20000;
    double t = Now();
    for (int i = 0; i < kReps; ++i)
        FrontEndStatus(i & 1 ? "C:\\scratch\\tree\\d1\\note1.txt" : "C:\\scratch\\tree\\d1\\note2.txt",
                       kStatusOffered);
    const double offerUs = (Now() - t) * 1e6 / kReps;
    t = Now();
    for (int i = 0; i < kReps; ++i)
        FrontEndPoll(false);
    const double pollUs = (Now() - t) * 1e6 / kReps;
    FrontEndStatusSettled();
    constexpr int kFewReps = 500;
    t = Now();
    for (int i = 0; i < kFewReps; ++i)
        SetWindowTextA(label, i & 1 ? "C:\\scratch\\tree\\d1\\note1.txt" : "C:\\scratch\\tree\\d1\\note2.txt");
    const double paintUs = (Now() - t) * 1e6 / kFewReps;
    t = Now();
    for (int i = 0; i < kFewReps; ++i)
        PumpScanMessages();
    const double pumpUs = (Now() - t) * 1e6 / kFewReps;

    // A file at a record's length: opened, matched (read in pieces), closed.
    const std::string sample = root + "-part.exe";
    WriteBytes(sample, BuildSample(1, SampleKind::PatternByteChanged));
    t = Now();
    for (int i = 0; i < kFewReps; ++i) {
        const int fd = _open(sample.c_str(), _O_RDONLY | _O_BINARY);
        if (fd >= 0) {
            FindMatchingRecord(fd, int32_t(_filelength(fd)));
            _close(fd);
        }
    }
    const double recordUs = (Now() - t) * 1e6 / kFewReps;
    t = Now();
    for (int i = 0; i < kFewReps; ++i) {
        const int fd = _open(sample.c_str(), _O_RDONLY | _O_BINARY);
        if (fd >= 0) {
            (void)_filelength(fd);
            _close(fd);
        }
    }
    const double openUs = (Now() - t) * 1e6 / kFewReps;
    DeleteFileA(sample.c_str());
    ScanState.mainWindow = nullptr;
    DestroyWindow(window);

    printf("where an entry's time goes (each part timed alone in this process):\n");
    printf("  status offered %.2f us, stop test %.2f us: per entry, one offer and two tests\n", offerUs, pollUs);
    printf("  label painted %.1f us, empty pump %.1f us: at most once per %lu ms refresh\n", paintUs, pumpUs,
           static_cast<unsigned long>(kRefreshIntervalMs));
    printf("  a file at a record's length opened, matched and closed: %.1f us, of which opening, measuring and "
           "closing it alone: %.1f us\n",
           recordUs, openUs);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "--bare") == 0)
        return BareChild(argv[2], argv[3]);
    if (argc < 2) {
        fprintf(stderr, "usage: walk_bench.exe PROGRAM [files] [seed]\n");
        return 2;
    }
    const std::string program = argv[1];
    const int total = argc > 2 ? atoi(argv[2]) : 50000;
    const uint32_t seed = argc > 3 ? uint32_t(strtoul(argv[3], nullptr, 10)) : 1;
    const std::string root = ScratchDir() + "\\tree";
    printf("program: %s\n", program.c_str());

    RemoveTree(root);
    BareWalk("C:"); // warm the caches for all runs alike
    printf("without the tree (the prefix's own files):\n");
    fflush(stdout);
    Round empty;
    if (!Measure(program, empty))
        return 1;

    struct TreeCase {
        const char* name;
        uint32_t recordOneIn;
    };
    const TreeCase trees[] = {{"0.4%", 250}, {"4%", 25}};
    bool ok = true;
    std::vector<std::string> summary;
    for (const TreeCase& tree : trees) {
        const double g0 = Now();
        const TreeStats stats = Generate(root, total, seed, tree.recordOneIn);
        printf("tree with %s of the files at a record's length: %d files (%d text, %d PE, %d at record lengths) in "
               "%d folders, %.1f MB, made in %.1f s\n",
               tree.name, stats.files, stats.textFiles, stats.peFiles, stats.recordSized, stats.folders,
               double(stats.bytes) / 1e6, Now() - g0);
        fflush(stdout);
        BareWalk("C:");
        Round with;
        ok = Measure(program, with) && ok;
        RemoveTree(root);
        if (!ok)
            break;
        const int files = with.bare.files - empty.bare.files;
        const double bare = with.bare.seconds - empty.bare.seconds;
        const double scan = with.scan.seconds - empty.scan.seconds;
        char line[600];
        snprintf(line, sizeof line,
                 "%-5s tree: %d files; bare walk %.2f s - %.2f s = %.2f s (%.0f files/s); scan %.2f s - %.2f s = "
                 "%.2f s (%.0f files/s); ratio %.2f\n"
                 "      peak working set of the program: %.1f MB with the tree, %.1f MB without: the walk added %.1f MB",
                 tree.name, files, with.bare.seconds, empty.bare.seconds, bare, files / bare, with.scan.seconds,
                 empty.scan.seconds, scan, files / scan, bare / scan, with.scan.peakMb, empty.scan.peakMb,
                 with.scan.peakMb - empty.scan.peakMb);
        summary.push_back(line);
        if (with.scan.lines != empty.scan.lines) {
            printf("the scan with the tree listed %d lines, without it %d: something was found\n", with.scan.lines,
                   empty.scan.lines);
            ok = false;
        }
    }
    if (!ok) {
        printf("a run failed\n");
        return 1;
    }

    printf("\nbest of %d runs each; marginal times: with the tree minus without it\n", kRuns);
    for (const std::string& s : summary)
        printf("%s\n", s.c_str());
    printf("Wine's own footprint: the program idle with its window shown %.1f MB, peak without the tree %.1f MB; "
           "the bare walk process %.1f MB\n",
           empty.scan.idleMb, empty.scan.peakMb, empty.bare.peakMb);
    PrintParts(root);
    return 0;
}
