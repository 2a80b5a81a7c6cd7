// The run command's headless mode: starts scourix.exe, presses SCAN, answers
// every question No (Cancel where there is no No), prints each result line as
// it appears and the final status, saves screenshots of the idle, scanning and
// finished window, and closes the program with OK.
//   scx_run_driver SCOURIX_EXE [SHOT_FOLDER]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/app/scourix_driver.h"

using namespace scx::test;

namespace {

constexpr int kScan = 1052;
constexpr int kOk = 1070;
constexpr int kStatus = 1065;
constexpr DWORD kScanLimitMs = 60 * 60 * 1000;

void Shot(const std::string& folder, const char* name, HWND dialog)
{
    if (folder.empty())
        return;
    std::string path = folder + "\\" + name + ".bmp";
    if (!SaveWindowShot(dialog, path))
        fprintf(stderr, "could not save %s\n", path.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        fprintf(stderr, "usage: scx_run_driver SCOURIX_EXE [SHOT_FOLDER]\n");
        return 2;
    }
    std::string shots = argc > 2 ? argv[2] : "";
    ProcessGuard app = StartScourix(argv[1]);
    if (!app.valid()) {
        fprintf(stderr, "could not start %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    HWND dialog = WaitForMainWindow(app.pid(), 30000);
    if (!dialog) {
        fprintf(stderr, "no window titled \"%s\" appeared\n", kMainTitle);
        return 1;
    }
    Sleep(700); // let it paint
    Shot(shots, "idle", dialog);

    printf("Pressing SCAN.\n\n");
    PressButton(dialog, kScan);
    DWORD start = GetTickCount();
    size_t printed = 0;
    bool scanningShot = shots.empty();
    bool finished = false;
    while (GetTickCount() - start < kScanLimitMs) {
        BoxSeen box = WaitForBox(app.pid(), dialog, 0);
        if (box.hwnd) {
            std::string text = box.text;
            for (char& c : text)
                if (c == '\n' || c == '\r')
                    c = ' ';
            int answer = NegativeAnswer(box);
            printf("[question] %s: %s -> %s\n", box.caption.c_str(), text.c_str(),
                   answer == IDNO ? "No" : answer == IDCANCEL ? "Cancel" : "OK");
            PressBoxButton(box.hwnd, answer);
            Sleep(300);
            continue;
        }
        finished = ScanFinished(dialog);
        std::vector<std::string> lines = ReadResultLines(dialog);
        if (lines.size() < printed)
            printed = 0; // the list started afresh
        for (; printed < lines.size(); ++printed)
            printf("%s\n", lines[printed].c_str());
        if (!scanningShot && !finished && (lines.size() >= 4 || GetTickCount() - start > 2500)) {
            Shot(shots, "scanning", dialog);
            scanningShot = true;
        }
        if (finished)
            break;
        if (!app.IsRunning()) {
            printf("\nscourix.exe ended during the scan (exit code %ld).\n", app.WaitExit(0));
            return 3;
        }
        Sleep(40);
    }
    if (!finished) {
        printf("\nThe scan did not finish in time.\n");
        return 4;
    }
    printf("\nStatus: %s\n", ControlText(dialog, kStatus).c_str());
    Sleep(500);
    Shot(shots, "finished", dialog);
    PressButton(dialog, kOk);
    if (app.WaitExit(15000) < 0) {
        fprintf(stderr, "scourix.exe did not close on OK\n");
        return 5;
    }
    return 0;
}
