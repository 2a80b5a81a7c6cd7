// The walk of the root, the check of each file, the actions and the report.
#include "rescue/rescue.h"

#include "detect/detection.h"
#include "detect/exit_codes.h"
#include "detect/mail_signature.h"
#include "detect/pe_match.h"
#include "detect/statistics_block.h"
#include "detect/text.h"

#include <nlohmann/json.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Folders nest at most this deep (one descriptor each); deeper ones are
// reported and not entered.
constexpr int kMaxDepth = 200;
constexpr double kProgressInterval = 0.25;
constexpr char kReportName[] = "W32/Vexmor.Trojan";

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Scan {
    const RescueOptions* options = nullptr;
    std::string root;
    dev_t rootDevice = 0;
    int scanned = 0, infected = 0, removed = 0;
    bool registryIncomplete = false; // a hive that should have been cleaned was not
    std::vector<std::string> infectedPaths;
    std::vector<std::pair<dev_t, ino_t>> folders; // the open chain, for loops
    // Progress on a terminal.
    bool progress = false;
    bool progressShown = false;
    double started = 0, lastProgress = 0;
    std::string currentFolder;
};

Scan g_scan;

void ClearProgress()
{
    if (g_scan.progressShown) {
        fputs("\r\033[K", stderr);
        g_scan.progressShown = false;
    }
}

void ShowProgress()
{
    double now = Now();
    if (now - g_scan.lastProgress < kProgressInterval)
        return;
    g_scan.lastProgress = now;
    double elapsed = now - g_scan.started;
    double rate = elapsed > 0 ? g_scan.scanned / elapsed : 0;
    std::string folder = DisplayText(WindowsPathOf(g_scan.options->drive, g_scan.currentFolder));
    if (folder.size() > 50)
        folder = "..." + folder.substr(folder.size() - 47);
    fprintf(stderr, "\r\033[K%d files, %.0f files/s, %s", g_scan.scanned, rate, folder.c_str());
    g_scan.progressShown = true;
}

// One result line, as the console program writes it; in JSON mode the
// finding as an object instead.
void Result(const std::string& path, const std::string& name, const std::string& outcome,
            const nlohmann::json& extra = nlohmann::json::object())
{
    ClearProgress();
    std::string line = DisplayText(path) + "     " + name + " " + outcome;
    if (g_scan.options->json) {
        nlohmann::json finding = {{"type", "finding"}, {"path", DisplayText(path)}, {"name", name},
                                  {"outcome", outcome}, {"line", line}};
        finding.update(extra);
        puts(finding.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        puts(line.c_str());
    }
    fflush(stdout);
}

void Notice(const std::string& text)
{
    ClearProgress();
    fprintf(stderr, "scourix-rescue: %s\n", DisplayText(text).c_str());
}

std::string Relative(const std::string& folder, const char* name)
{
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

// What is done with an infected file: left and reported, kept and removed,
// or removed. fd is the open file, dirfd its folder.
void ActOnInfected(int dirfd, const char* name, int fd, const struct stat& st, const std::string& windowsPath,
                   const char* detection)
{
    const RescueOptions& o = *g_scan.options;
    if (!o.remove && o.quarantine.empty()) {
        Result(windowsPath, detection, "not disinfected as per user's selection");
        return;
    }
    if (!o.quarantine.empty()) {
        std::string why;
        if (!KeepInQuarantine(o.quarantine, fd, windowsPath, detection, why)) {
            Notice("Quarantine: " + windowsPath + " was left in place: " + why);
            Result(windowsPath, detection, "Unable to remove");
            return;
        }
    }
    // The name must still lead to the file that was checked.
    struct stat now;
    if (fstatat(dirfd, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        Notice(windowsPath + " changed while it was checked; it was left in place");
        Result(windowsPath, detection, "Unable to remove");
        return;
    }
    if (unlinkat(dirfd, name, 0) == 0) {
        ++g_scan.removed;
        Result(windowsPath, detection, "removed");
    } else {
        Notice(windowsPath + " cannot be removed: " + strerror(errno));
        Result(windowsPath, detection, "Unable to remove");
    }
}

void CheckFile(int dirfd, const char* name, const std::string& relative, const struct stat& listed)
{
    ++g_scan.scanned;
    // Only a length some record accepts can match: nothing else is opened.
    if (!AnyRecordAcceptsLength(listed.st_size))
        return;
    const std::string windowsPath = WindowsPathOf(g_scan.options->drive, relative);
    int fd = openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Notice("not checked: " + windowsPath + ": " + strerror(errno));
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !AnyRecordAcceptsLength(st.st_size)) {
        close(fd);
        return;
    }
    int record = FindMatchingRecord(fd, int32_t(st.st_size));
    if (record >= 0) {
        ++g_scan.infected;
        g_scan.infectedPaths.push_back(windowsPath);
        ActOnInfected(dirfd, name, fd, st, windowsPath, DetectionTable[record].name);
    }
    close(fd);
}

struct Entry {
    std::string name;
    unsigned char type;
};

// Files first, then subfolders, depth first, each in name order.
void WalkFolder(int dirfd, const std::string& relative, int depth)
{
    DIR* dir = fdopendir(dirfd);
    if (!dir) {
        close(dirfd);
        return;
    }
    std::vector<Entry> entries;
    errno = 0;
    while (dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        entries.push_back({e->d_name, e->d_type});
    }
    if (errno != 0)
        Notice("folder read in part: " + WindowsPathOf(g_scan.options->drive, relative) + ": " + strerror(errno));
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    g_scan.currentFolder = relative;

    std::vector<const Entry*> folders;
    for (const Entry& e : entries) {
        if (g_stop)
            break;
        if (e.type == DT_DIR) {
            folders.push_back(&e);
            continue;
        }
        if (e.type != DT_REG && e.type != DT_UNKNOWN)
            continue; // links, devices, pipes, sockets: never followed, not files
        struct stat st;
        if (fstatat(dirfd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            folders.push_back(&e);
            continue;
        }
        if (!S_ISREG(st.st_mode))
            continue;
        CheckFile(dirfd, e.name.c_str(), Relative(relative, e.name.c_str()), st);
        if (g_scan.progress && (g_scan.scanned & 255) == 0)
            ShowProgress();
    }
    for (const Entry* e : folders) {
        if (g_stop)
            break;
        const std::string sub = Relative(relative, e->name.c_str());
        struct stat st;
        if (fstatat(dirfd, e->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const std::string windowsPath = WindowsPathOf(g_scan.options->drive, sub);
        if (st.st_dev != g_scan.rootDevice && !g_scan.options->crossFilesystems) {
            Notice("not entered (another file system): " + windowsPath);
            continue;
        }
        auto id = std::make_pair(st.st_dev, st.st_ino);
        if (std::find(g_scan.folders.begin(), g_scan.folders.end(), id) != g_scan.folders.end()) {
            Notice("not entered (a loop back to a folder above): " + windowsPath);
            continue;
        }
        if (depth + 1 >= kMaxDepth) {
            Notice("not entered (folders nested too deep): " + windowsPath);
            continue;
        }
        int fd = openat(dirfd, e->name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            Notice("not checked: " + windowsPath + ": " + strerror(errno));
            continue;
        }
        struct stat opened;
        if (fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            close(fd);
            continue;
        }
        g_scan.folders.push_back(id);
        WalkFolder(fd, sub, depth + 1);
        g_scan.folders.pop_back();
        if (g_scan.progress)
            ShowProgress();
    }
    closedir(dir);
}

// The Windows folder of the installation under the root, if any, as a
// root-relative native path ("WINDOWS", "WINNT").
std::string FindWindowsFolder(std::string& native)
{
    for (const char* name : {"Windows", "WINNT"}) {
        std::string path = FindNoCase(g_scan.root, name);
        struct stat st;
        if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            native = path;
            return path.substr(g_scan.root.size() + 1);
        }
    }
    return std::string();
}

void CheckHostsFile(const std::string& nativePath, const std::string& windowsPath)
{
    int fd = open(nativePath.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    bool match = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && MatchMailFile(fd, st.st_size);
    if (!match) {
        close(fd);
        return;
    }
    ++g_scan.infected;
    const char* name = MailSignature.name;
    const RescueOptions& o = *g_scan.options;
    if (!o.remove && o.quarantine.empty()) {
        close(fd);
        Result(windowsPath, name, "Not Disinfected As Per User's Selection");
        return;
    }
    // As with /B: nothing goes before its copy is kept.
    std::string why;
    bool kept = o.quarantine.empty() || KeepInQuarantine(o.quarantine, fd, windowsPath, name, why);
    close(fd);
    if (!kept) {
        Notice("Quarantine: " + windowsPath + " was left in place: " + why);
        Result(windowsPath, name, "Remove failed");
        return;
    }
    if (unlink(nativePath.c_str()) == 0) {
        ++g_scan.removed;
        Result(windowsPath, name, "removed");
    } else {
        Notice(windowsPath + " cannot be removed: " + strerror(errno));
        Result(windowsPath, name, "Remove failed");
    }
}

// The registry line(s) of the report, after the statistics.
std::vector<std::string> g_registryLines;

void CleanRegistry(const std::string& windowsFolder)
{
    const RescueOptions& o = *g_scan.options;
    const std::string hive = FindNoCase(g_scan.root, windowsFolder + "\\System32\\config\\SOFTWARE");
    struct stat st;
    if (hive.empty() || stat(hive.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        g_registryLines.push_back("Registry: not cleaned (no NT registry hive: a Windows 9x installation's "
                                  "registry is not edited by this program)");
        if (g_scan.infected > 0)
            g_scan.registryIncomplete = true;
        return;
    }
    const std::string hiveWindows = WindowsPathOf(o.drive, hive.substr(g_scan.root.size() + 1));
    if (g_scan.infectedPaths.empty()) {
        g_registryLines.push_back("Registry: " + hiveWindows + " unchanged (nothing infected)");
        return;
    }
    const bool write = o.remove || !o.quarantine.empty();
    const std::string windowsDir = WindowsPathOf(o.drive, windowsFolder);
    HiveResult r = CleanRunValues(hive, g_scan.infectedPaths, windowsDir, o.drive, write);
    for (const HiveFinding& f : r.findings) {
        nlohmann::json extra = {{"kind", "registry"}, {"key", "HKLM\\Software\\" + f.key}, {"value", f.value},
                                {"data", f.data}, {"file", DisplayText(f.file)}};
        if (r.outcome == HiveOutcome::Cleaned) {
            Result("System Registry", kReportName, "removed", extra);
        } else {
            Notice("auto-start value \"" + f.value + "\" in HKLM\\Software\\" + f.key + " starts " + f.file +
                   (r.outcome == HiveOutcome::Found ? " (left: report only)" : " (left)"));
            if (g_scan.options->json) {
                extra["outcome"] = "left";
                extra["type"] = "finding";
                extra["name"] = kReportName;
                extra["path"] = "System Registry";
                puts(extra.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            }
        }
    }
    switch (r.outcome) {
    case HiveOutcome::NothingToDo:
        g_registryLines.push_back("Registry: " + hiveWindows + " unchanged (no auto-start value starts an infected file)");
        break;
    case HiveOutcome::Found:
        g_registryLines.push_back("Registry: " + std::to_string(r.findings.size()) +
                                  " auto-start value(s) start an infected file; not removed (report only)");
        break;
    case HiveOutcome::Cleaned:
        g_registryLines.push_back("Registry: " + std::to_string(r.findings.size()) + " auto-start value(s) removed from " +
                                  hiveWindows + "; the hive before is kept as " +
                                  r.backupPath.substr(r.backupPath.rfind('/') + 1));
        break;
    case HiveOutcome::Damaged:
        g_scan.registryIncomplete = true;
        g_registryLines.push_back("Registry: not cleaned: " + hiveWindows + " " + r.why + "; it was left alone");
        break;
    case HiveOutcome::WriteFailed:
        g_scan.registryIncomplete = true;
        g_registryLines.push_back("Registry: not cleaned: " + r.why + "; " + hiveWindows + " is unchanged");
        break;
    }
}

void PrintLine(const char* text) { puts(text); }

} // namespace

int RunRescueScan(const RescueOptions& options)
{
    g_scan.options = &options;
    g_scan.root = options.root;
    while (g_scan.root.size() > 1 && g_scan.root.back() == '/')
        g_scan.root.pop_back();
    DescrambleSignature();

    int rootFd = open(g_scan.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (rootFd < 0 || fstat(rootFd, &st) != 0) {
        fprintf(stderr, "scourix-rescue: %s cannot be opened as a folder: %s\n", g_scan.root.c_str(),
                strerror(errno));
        if (rootFd >= 0)
            close(rootFd);
        return kExitCouldNotRun;
    }
    if (!options.quarantine.empty()) {
        struct stat q;
        if (stat(options.quarantine.c_str(), &q) != 0 && mkdir(options.quarantine.c_str(), 0700) != 0) {
            fprintf(stderr, "scourix-rescue: the quarantine folder %s cannot be made: %s\n",
                    options.quarantine.c_str(), strerror(errno));
            close(rootFd);
            return kExitCouldNotRun;
        }
    }
    g_scan.rootDevice = st.st_dev;
    g_scan.folders.push_back({st.st_dev, st.st_ino});
    g_scan.progress = isatty(STDERR_FILENO) != 0;
    g_scan.started = Now();

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    WalkFolder(rootFd, std::string(), 0);
    ClearProgress();

    std::string windowsNative;
    std::string windowsFolder = FindWindowsFolder(windowsNative);
    if (!windowsFolder.empty() && !g_stop) {
        const bool nt = !FindNoCase(g_scan.root, windowsFolder + "\\System32\\config\\SOFTWARE").empty();
        const std::string hostsRelative = nt ? windowsFolder + "\\System32\\drivers\\etc\\hosts" : windowsFolder + "\\hosts";
        const std::string hosts = FindNoCase(g_scan.root, hostsRelative);
        if (!hosts.empty())
            CheckHostsFile(hosts, WindowsPathOf(options.drive, hosts.substr(g_scan.root.size() + 1)));
        CleanRegistry(windowsFolder);
    }

    ScanOutcome outcome = {};
    outcome.filesInfected = g_scan.infected;
    outcome.filesRemoved = g_scan.removed;
    outcome.stopped = g_stop != 0;
    int code = ExitCodeFor(outcome);
    // Files gone but the values that start them left: not all removed.
    if (code == kExitAllRemoved && g_scan.registryIncomplete)
        code = kExitNotAllRemoved;

    if (options.json) {
        nlohmann::json summary = {{"type", "summary"},
                                  {"scanned", g_scan.scanned},
                                  {"infected", g_scan.infected},
                                  {"removed", g_scan.removed},
                                  {"end", g_stop ? "Scanning terminated" : "Scanning completed"},
                                  {"registry", g_registryLines},
                                  {"exit_code", code},
                                  {"exit_meaning", ExitCodeMeaning(code)}};
        puts(summary.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        if (g_scan.infected > 0)
            puts(" ");
        WriteStatisticsBlock(g_scan.scanned, g_scan.infected, g_scan.removed, PrintLine);
        for (const std::string& line : g_registryLines)
            puts(DisplayText(line).c_str());
        printf("End: %s\n", g_stop ? "Scanning terminated" : "Scanning completed");
        printf("Exit code: %d (%s)\n", code, ExitCodeMeaning(code));
    }
    fflush(stdout);
    return code;
}

int RunRescueRestore(const RescueOptions& options)
{
    std::string message;
    if (RestoreFromQuarantine(options.quarantine, options.restoreSha256, options.root, options.drive, message)) {
        puts(message.c_str());
        return kExitClean;
    }
    fprintf(stderr, "scourix-rescue: %s\n", message.c_str());
    return kExitCouldNotRun;
}
