// The native Linux rescue scanner: walks a mounted Windows volume (or any
// folder) with the Windows programs' detection code and reports, removes or
// quarantines what it finds, and cleans the trojan's auto-start values in an
// offline registry hive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct RescueOptions {
    std::string root;            // the folder walked, as given
    std::string drive = "C:";    // the Windows drive the root stands for
    bool remove = false;         // delete infected files (and their Run values)
    std::string quarantine;      // keep a copy here before removing
    std::string restoreSha256;   // --restore: put this copy back; no scan
    bool json = false;
    bool crossFilesystems = false;
};

// --- Windows paths inside the root (rescue_paths.cpp) ----------------------

// "C:" + "\a\b" for the root-relative native path "a/b".
std::string WindowsPathOf(const std::string& drive, const std::string& relative);
// The native path below root of a root-relative Windows path "a\b\c",
// each existing component found without regard to letter case. The last
// component need not exist (it is then taken as written). Empty when a folder
// on the way is missing.
std::string FindNoCase(const std::string& root, const std::string& windowsRelative, bool lastMayBeMissing = false);
// Text fit for a terminal or JSON: bytes that are not valid UTF-8 become '?'.
std::string DisplayText(const std::string& bytes);
bool IsValidUtf8(const std::string& bytes);

// --- quarantine in the console program's format (rescue_quarantine.cpp) ----

// Keeps a copy of the open file fd in folder with a manifest line naming
// windowsPath. False, with why set, when nothing usable was kept.
bool KeepInQuarantine(const std::string& folder, int fd, const std::string& windowsPath,
                      const std::string& detectionName, std::string& why);
// Restores the copy named sha256 to its Windows path mapped below root.
// Never replaces a file. True on success; message says what happened.
bool RestoreFromQuarantine(const std::string& folder, const std::string& sha256, const std::string& root,
                           const std::string& drive, std::string& message);

// --- the offline registry (rescue_hive.cpp) -------------------------------

struct HiveFinding {
    std::string key;     // e.g. "Microsoft\Windows\CurrentVersion\Run"
    std::string value;   // value name
    std::string data;    // its data as text
    std::string file;    // the infected file's Windows path it starts
};

enum class HiveOutcome {
    NothingToDo,   // no value starts an infected file
    Cleaned,       // values removed, hive replaced, copy kept
    Found,         // values found, left (report only)
    Damaged,       // not a sound hive: never written
    WriteFailed,   // the new hive or the copy could not be written; hive unchanged
};

struct HiveResult {
    HiveOutcome outcome = HiveOutcome::NothingToDo;
    std::vector<HiveFinding> findings;
    std::string backupPath;   // the byte-identical copy kept before replacing
    std::string why;          // for Damaged and WriteFailed
};

// The auto-start keys of a SOFTWARE hive, in the order they are cleaned.
extern const char* const kRunKeys[4];

// Finds (and with write set removes) every Run and RunServices value, in
// both views, whose data starts one of infectedPaths (Windows paths), by the
// Windows programs' decision. windowsDir is e.g. "C:\WINDOWS" (for
// %SystemRoot% and %windir%), drive e.g. "C:".
HiveResult CleanRunValues(const std::string& hivePath, const std::vector<std::string>& infectedPaths,
                          const std::string& windowsDir, const std::string& drive, bool write);

// --- the scan (rescue_scan.cpp) ---------------------------------------------

int RunRescueScan(const RescueOptions& options);
int RunRescueRestore(const RescueOptions& options);
