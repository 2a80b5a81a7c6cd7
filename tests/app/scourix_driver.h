// Drives a running scourix.exe from outside, the way a user (or a script)
// would: find its window, press its buttons with WM_COMMAND, read its controls
// and answer its message boxes. Used by the end-to-end tests and by the run
// command's headless mode.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/samples.h"

namespace scx::test {

constexpr char kMainTitle[] = "Scourix Ver 1.0";

// Starts exePath (working folder: its own folder).
ProcessGuard StartScourix(const std::string& exePath);

// The top-level window titled "Scourix Ver 1.0" that belongs to pid (any
// process when pid is 0), waiting up to timeoutMs; null when none appears.
HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs);

// Style bits of a child control, read without disturbing the program.
bool ControlShown(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
std::string ControlText(HWND dialog, int id);

// The result list, line by line. Read through the wide message: the narrow
// one comes back cut short across processes under Wine.
std::vector<std::string> ReadResultLines(HWND dialog);
int ResultLineCount(HWND dialog);
int ResultSelection(HWND dialog);

// Another visible top-level window of pid than the main dialog: a message box.
struct BoxSeen {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;              // the longest static text
    std::vector<int> buttons;      // ids of the visible buttons
};
// Waits up to timeoutMs for a box of pid; hwnd stays null when none came.
BoxSeen WaitForBox(DWORD pid, HWND mainDialog, DWORD timeoutMs);
// Presses button id of the box (WM_COMMAND, as a click would send it).
void PressBoxButton(HWND box, int id);
// The answer "No" where the box has one, else Cancel, else OK.
int NegativeAnswer(const BoxSeen& box);

// Sends a click of button id to the dialog (WM_COMMAND with BN_CLICKED).
void PressButton(HWND dialog, int id);

// The scan has finished when the OK button shows.
bool ScanFinished(HWND dialog);

// Copies the window's 527 x 338 area from the screen into a 24-bit BMP file.
bool SaveWindowShot(HWND window, const std::string& bmpPath);

// Sets or removes the maker's suite key HKLM\Software\Tessaro\Ardentis 2000,
// value "Installed Folder".
bool SetSuiteInstalled(bool installed);

} // namespace scx::test
