// File-stage throughput against a bare FindFirstFileA/FindNextFileA walk of
// the same generated tree, with the reporting channel connected to a shown
// window whose status label is paced like the main dialog's.
//
//   walk_bench.exe [files] [seed]      (defaults: 50000 files, seed 1)
//
// The tree is generated afresh in the scratch folder from the seed, so every
// run with the same arguments walks the same names, sizes and contents. Each
// walk runs in a child process of its own (walk_bench.exe --walk ...), so the
// peak working set is that of one scanning process; bare walks and file
// stages alternate, best of three each.
#include "detect/detection.h"
#include "detect/text.h"
#include "scan/engine.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "ui/dialog_front_end.h"
#include "ui/paced_status.h"
#include "ui/scan_messages.h"

#include "scan/product.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

constexpr int kRuns = 3;

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
// clean PE program, one in 250 a PE file at a record's exact length whose
// pattern is spoiled (so it is read in full and never removed).
TreeStats Generate(const std::string& root, int total, uint32_t seed)
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
        const uint32_t kind = rnd.Below(250);
        if (kind == 0) {
            const auto& b = recordFiles[rnd.Below(kDetectionRecordCount)];
            WriteBytes(folder + "\\prog" + std::to_string(n) + ".exe", b);
            ++stats.recordSized;
            stats.bytes += b.size();
        } else if (kind < 11) {
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

// The stand-in main window: a paced status label and a result list, shown.
HWND g_status, g_list;
PacedStatus g_pacing;
long g_offers, g_resultLines;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kStatusMessage) {
        ++g_offers;
        g_pacing.Report(g_status, MessageText(lp), StatusPace(wp));
        return 0;
    }
    if (msg == kStatusSettleMessage) {
        g_pacing.Settle(g_status);
        return 0;
    }
    if (msg == kResultLineMessage) {
        g_pacing.Settle(g_status);
        SendMessageA(g_list, LB_ADDSTRING, 0, lp);
        UpdateWindow(g_list);
        ++g_resultLines;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND CreateReportWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ScxBenchWindow";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, wc.lpszClassName, kProductCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
                             480, nullptr, nullptr, wc.hInstance, nullptr);
    g_status = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 600, 20, w, nullptr, wc.hInstance,
                               nullptr);
    g_list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 10, 40, 600, 380, w, nullptr,
                             wc.hInstance, nullptr);
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    return w;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(to.QuadPart - from.QuadPart) / double(f.QuadPart);
}

double Now()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return double(t.QuadPart) / double(f.QuadPart);
}

double MegaBytes(SIZE_T bytes) { return double(bytes) / (1024.0 * 1024.0); }

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
    return m;
}

struct WalkResult {
    int files = 0;
    double seconds = 0;
    double peakMb = 0, beforeMb = 0;
    long offers = 0, repaints = 0, resultLines = 0, infected = 0;
    double pumpUs = 0, paintUs = 0, offerUs = 0, stopUs = 0;
};

// Child: one walk, its figures written to `out` as one line.
int WalkChild(const char* mode, const char* root, const char* out)
{
    WalkResult r;
    const bool stage = strcmp(mode, "bare") != 0;
    const bool window = strcmp(mode, "stage") == 0;
    if (window)
        ScanState.mainWindow = CreateReportWindow();
    ActionMode = kActionDelete;
    // Let the window settle before the clock starts.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    r.beforeMb = MegaBytes(Memory().PeakWorkingSetSize);

    const double t0 = Now();
    if (stage)
        r.files = WalkDirectory((std::string(root) + "\\*.*").c_str()) > 0 ? ScanState.filesScanned : 0;
    else
        r.files = BareWalk(root);
    r.seconds = Now() - t0;
    r.peakMb = MegaBytes(Memory().PeakWorkingSetSize);
    r.offers = g_offers;
    r.repaints = g_pacing.repaints();
    r.resultLines = g_resultLines;
    r.infected = ScanState.filesInfected;

    if (window) {
        // Where the time of an entry goes, each part timed alone.
        constexpr int kReps = 2000;
        double t = Now();
        for (int i = 0; i < kReps; ++i)
            PumpScanMessages();
        r.pumpUs = (Now() - t) * 1e6 / kReps;
        t = Now();
        for (int i = 0; i < kReps; ++i)
            SetWindowTextA(g_status, i & 1 ? "C:\\scratch\\tree\\d1\\note1.txt" : "C:\\scratch\\tree\\d1\\note2.txt");
        r.paintUs = (Now() - t) * 1e6 / kReps;
        CopyText(StatusText, sizeof StatusText, "C:\\scratch\\tree\\d1\\note3.txt");
        t = Now();
        for (int i = 0; i < kReps; ++i)
            SendMessageA(ScanState.mainWindow, kStatusMessage, kStatusOffered, reinterpret_cast<LPARAM>(StatusText));
        r.offerUs = (Now() - t) * 1e6 / kReps;
        t = Now();
        for (int i = 0; i < kReps; ++i)
            DialogFrontEnd().poll(false);
        r.stopUs = (Now() - t) * 1e6 / kReps;
        DestroyWindow(ScanState.mainWindow);
    }
    FILE* f = fopen(out, "w");
    if (!f)
        return 2;
    fprintf(f, "%d %.6f %.3f %.3f %ld %ld %ld %ld %.3f %.3f %.3f %.3f\n", r.files, r.seconds, r.peakMb, r.beforeMb,
            r.offers, r.repaints, r.resultLines, r.infected, r.pumpUs, r.paintUs, r.offerUs, r.stopUs);
    fclose(f);
    return 0;
}

bool RunChild(const char* mode, const std::string& root, WalkResult& r)
{
    char self[MAX_PATH];
    if (!GetModuleFileNameA(nullptr, self, sizeof self))
        return false;
    const std::string out = ScratchDir() + "\\walk_result.txt";
    std::string command = std::string("\"") + self + "\" --walk " + mode + " \"" + root + "\" \"" + out + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    DeleteFileA(out.c_str());
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    // The whole child, start-up and window included.
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(pi.hProcess, &m, sizeof m);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    FILE* f = fopen(out.c_str(), "r");
    if (!f)
        return false;
    const int n = fscanf(f, "%d %lf %lf %lf %ld %ld %ld %ld %lf %lf %lf %lf", &r.files, &r.seconds, &r.peakMb,
                         &r.beforeMb, &r.offers, &r.repaints, &r.resultLines, &r.infected, &r.pumpUs, &r.paintUs,
                         &r.offerUs, &r.stopUs);
    fclose(f);
    if (m.PeakWorkingSetSize)
        r.peakMb = std::max(r.peakMb, MegaBytes(m.PeakWorkingSetSize));
    return n == 12;
}

} // namespace

int main(int argc, char** argv)
{
    FrontEndScope dialog(DialogFrontEnd());
    if (argc == 5 && strcmp(argv[1], "--walk") == 0)
        return WalkChild(argv[2], argv[3], argv[4]);

    const int total = argc > 1 ? atoi(argv[1]) : 50000;
    const uint32_t seed = argc > 2 ? uint32_t(strtoul(argv[2], nullptr, 10)) : 1;
    const std::string root = ScratchDir() + "\\tree";

    RemoveTree(root);
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    TreeStats tree = Generate(root, total, seed);
    QueryPerformanceCounter(&t1);
    printf("tree: %d files (%d text, %d PE, %d at record sizes) in %d folders, %.1f MB, made in %.1f s\n",
           tree.files, tree.textFiles, tree.peFiles, tree.recordSized, tree.folders, double(tree.bytes) / 1e6,
           Seconds(t0, t1));
    fflush(stdout);

    BareWalk(root); // warm the caches for all walks alike
    WalkResult bare, stage, quiet;
    bool ok = true;
    for (int run = 0; run < kRuns && ok; ++run) {
        WalkResult b, s;
        ok = RunChild("bare", root, b) && RunChild("stage", root, s);
        if (ok && (run == 0 || b.seconds < bare.seconds))
            bare = b;
        if (ok && (run == 0 || s.seconds < stage.seconds))
            stage = s;
    }
    ok = ok && RunChild("nowindow", root, quiet);
    RemoveTree(root);
    if (!ok) {
        printf("a walk process failed\n");
        return 1;
    }

    const double bareRate = bare.files / bare.seconds;
    const double stageRate = stage.files / stage.seconds;
    printf("best of %d runs each, every walk in a process of its own:\n", kRuns);
    printf("bare walk:  %d files in %.2f s = %.0f files/s\n", bare.files, bare.seconds, bareRate);
    printf("file stage: %d files in %.2f s = %.0f files/s, window shown (%ld statuses offered, %ld label repaints, "
           "%ld result lines, %ld infected)\n",
           stage.files, stage.seconds, stageRate, stage.offers, stage.repaints, stage.resultLines, stage.infected);
    printf("ratio file stage / bare walk: %.2f\n", stageRate / bareRate);
    printf("peak working set of the scanning process: %.1f MB (%.1f MB before the walk, window shown: the walk "
           "added %.1f MB); bare walk process: %.1f MB\n",
           stage.peakMb, stage.beforeMb, stage.peakMb - stage.beforeMb, bare.peakMb);
    printf("per call: empty pump %.1f us, label painted %.1f us, status offered %.2f us, stop test %.2f us\n",
           stage.pumpUs, stage.paintUs, stage.offerUs, stage.stopUs);
    printf("file stage with no window: %.2f s = %.0f files/s (ratio %.2f)\n", quiet.seconds,
           quiet.files / quiet.seconds, (quiet.files / quiet.seconds) / bareRate);
    return stage.files == bare.files && stage.infected == 0 ? 0 : 1;
}
