// File-stage throughput against a bare FindFirstFileA/FindNextFileA walk of
// the same generated tree, with the reporting channel connected to a visible
// window that shows every status and every result line.
//
//   walk_bench.exe [files] [seed]      (defaults: 50000 files, seed 1)
//
// The tree is generated afresh in the scratch folder from the seed, so every
// run with the same arguments walks the same names, sizes and contents.
#include "engine/detection.h"
#include "engine/engine.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

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

// The stand-in main window: a status label and a result list, both visible.
HWND g_status, g_list;
int g_statusUpdates, g_resultLines;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_ENABLE) {
        SetWindowTextA(g_status, StatusText);
        ++g_statusUpdates;
        return 0;
    }
    if (msg == WM_SETREDRAW) {
        SendMessageA(g_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ResultLine));
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
    HWND w = CreateWindowExA(0, wc.lpszClassName, "Scourix Ver 1.0", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
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

} // namespace

int main(int argc, char** argv)
{
    const int total = argc > 1 ? atoi(argv[1]) : 50000;
    const uint32_t seed = argc > 2 ? uint32_t(strtoul(argv[2], nullptr, 10)) : 1;
    const std::string root = ScratchDir() + "\\tree";

    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    TreeStats tree = Generate(root, total, seed);
    QueryPerformanceCounter(&t1);
    printf("tree: %d files (%d text, %d PE, %d at record sizes) in %d folders, %.1f MB, made in %.1f s\n",
           tree.files, tree.textFiles, tree.peFiles, tree.recordSized, tree.folders, double(tree.bytes) / 1e6,
           Seconds(t0, t1));

    ScanState.mainWindow = CreateReportWindow();
    ActionMode = kActionDelete;

    BareWalk(root); // warm the caches for both walks alike
    QueryPerformanceCounter(&t0);
    const int bareFiles = BareWalk(root);
    QueryPerformanceCounter(&t1);
    const double bareSeconds = Seconds(t0, t1);

    const std::string pattern = root + "\\*.*";
    QueryPerformanceCounter(&t0);
    WalkDirectory(pattern.c_str());
    QueryPerformanceCounter(&t1);
    const double stageSeconds = Seconds(t0, t1);
    const int stageFiles = ScanState.filesScanned;

    // Where the time goes: the parts of one file-stage entry, timed alone.
    const int reps = stageFiles > 0 ? stageFiles : 1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < reps; ++i)
        PumpScanMessages();
    QueryPerformanceCounter(&t1);
    const double pumpMicro = Seconds(t0, t1) * 1e6 / reps;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < reps; ++i)
        ReportStatus("C:\\scratch\\walk_bench\\tree\\d1\\d2\\note123.txt");
    QueryPerformanceCounter(&t1);
    const double statusMicro = Seconds(t0, t1) * 1e6 / reps;
    const std::string oneFile = root + "\\d0\\note0.txt";
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < reps; ++i)
        GetFileAttributesExA(oneFile.c_str(), GetFileExInfoStandard, &attributes);
    QueryPerformanceCounter(&t1);
    printf("per file: length query %.1f us; ", Seconds(t0, t1) * 1e6 / reps);
    const HWND window = ScanState.mainWindow;
    ScanState.mainWindow = nullptr;
    ScanState.filesScanned = 0;
    QueryPerformanceCounter(&t0);
    WalkDirectory(pattern.c_str());
    QueryPerformanceCounter(&t1);
    const double noWindowSeconds = Seconds(t0, t1);
    ScanState.mainWindow = window;
    printf("per entry: pump call %.1f us, status shown %.1f us; file stage with no window: %.2f s\n", pumpMicro,
           statusMicro, noWindowSeconds);

    const double bareRate = bareFiles / bareSeconds;
    const double stageRate = stageFiles / stageSeconds;
    printf("bare walk:  %d files in %.2f s = %.0f files/s\n", bareFiles, bareSeconds, bareRate);
    printf("file stage: %d files in %.2f s = %.0f files/s (%d statuses shown, %d result lines, %d infected)\n",
           stageFiles, stageSeconds, stageRate, g_statusUpdates, g_resultLines, ScanState.filesInfected);
    printf("ratio file stage / bare walk: %.2f\n", stageRate / bareRate);
    // The walker pumps twice for every entry of a file pass (one status each),
    // whatever else it does: that alone bounds what the stage can reach here.
    const double pumpFloor = 2.0 * g_statusUpdates * pumpMicro / 1e6;
    printf("the pumps alone: at least %.2f s for %d entries, so the ratio cannot exceed %.2f on this system\n",
           pumpFloor, g_statusUpdates, bareSeconds > 0 ? (stageFiles / (bareSeconds + pumpFloor)) / bareRate : 0.0);
    DestroyWindow(ScanState.mainWindow);
    return stageFiles == bareFiles && ScanState.filesInfected == 0 ? 0 : 1;
}
