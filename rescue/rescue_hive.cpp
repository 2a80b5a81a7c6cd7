// The trojan's auto-start values in an offline SOFTWARE hive, found and
// removed with hivex. A hive is written only when it reads back whole, and
// only after a byte-identical copy of it is kept beside it; the new hive is
// written to a temporary file and renamed over the old one.
#include "rescue/rescue.h"

#include "detect/run_value_match.h"
#include "detect/text.h"

#include <hivex.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const kRunKeys[4] = {
    "Microsoft\\Windows\\CurrentVersion\\Run",
    "Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices",
};

namespace {

constexpr hive_type kRegSz = hive_t_REG_SZ;
constexpr hive_type kRegExpandSz = hive_t_REG_EXPAND_SZ;
// Larger than any SOFTWARE hive of the systems the trojan ran on, by far.
constexpr off_t kMaxHiveBytes = off_t(1) << 31;

struct HiveCloser {
    hive_h* h;
    ~HiveCloser()
    {
        if (h)
            hivex_close(h);
    }
};

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// hivex reads what it finds and stops at the end of the file: a hive cut
// short can open without complaint. The header says how long it must be.
bool HeaderSaysWhole(const std::string& path, std::string& why)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        why = std::string("cannot be read (") + strerror(errno) + ")";
        return false;
    }
    struct stat st;
    unsigned char header[0x30];
    bool ok = fstat(fd, &st) == 0 && pread(fd, header, sizeof header, 0) == ssize_t(sizeof header);
    close(fd);
    if (!ok || memcmp(header, "regf", 4) != 0) {
        why = "is not a registry hive";
        return false;
    }
    if (st.st_size > kMaxHiveBytes) {
        why = "is too large";
        return false;
    }
    uint64_t needed = 0x1000ull + Le32(header + 0x28);
    if (uint64_t(st.st_size) < needed) {
        why = "is truncated (" + std::to_string(st.st_size) + " of " + std::to_string(needed) + " bytes)";
        return false;
    }
    return true;
}

// Replaces %SystemRoot%, %windir%, %SystemDrive% and %ProgramFiles% as the
// installation would; any other variable stays as written.
std::string Expand(const std::string& data, const std::string& windowsDir, const std::string& drive)
{
    std::string out;
    size_t i = 0;
    while (i < data.size()) {
        size_t end = data[i] == '%' ? data.find('%', i + 1) : std::string::npos;
        if (end == std::string::npos) {
            out += data[i++];
            continue;
        }
        std::string name = data.substr(i + 1, end - i - 1);
        const char* value = nullptr;
        std::string programFiles = drive + "\\Program Files";
        if (EqualNoCase(name.c_str(), "SystemRoot") || EqualNoCase(name.c_str(), "windir"))
            value = windowsDir.c_str();
        else if (EqualNoCase(name.c_str(), "SystemDrive"))
            value = drive.c_str();
        else if (EqualNoCase(name.c_str(), "ProgramFiles"))
            value = programFiles.c_str();
        if (value) {
            out += value;
            i = end + 1;
        } else {
            out += data.substr(i, end - i);
            i = end;
        }
    }
    return out;
}

hive_node_h FindKey(hive_h* h, const char* path)
{
    hive_node_h node = hivex_root(h);
    std::string part;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!node)
                return 0;
            node = hivex_node_get_child(h, node, part.c_str()); // letter case ignored
            part.clear();
            if (*p == '\0')
                break;
        } else {
            part += *p;
        }
    }
    return node;
}

bool CopyFileExact(const std::string& from, const std::string& to, std::string& why)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) {
        why = std::string("the hive cannot be read (") + strerror(errno) + ")";
        return false;
    }
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        why = std::string("the copy cannot be made (") + strerror(errno) + ")";
        close(in);
        return false;
    }
    static char buffer[1 << 16];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = write(out, buffer + done, size_t(n - done));
            if (w <= 0)
                ok = false;
            else
                done += w;
        }
        if (!ok)
            break;
    }
    ok = ok && fsync(out) == 0;
    close(in);
    close(out);
    if (!ok) {
        why = std::string("the copy cannot be written (") + strerror(errno) + ")";
        unlink(to.c_str());
    }
    return ok;
}

// The first free name of the form SOFTWARE.scourix-backup[.N] beside the hive.
std::string BackupName(const std::string& hivePath)
{
    std::string base = hivePath + ".scourix-backup";
    struct stat st;
    if (lstat(base.c_str(), &st) != 0)
        return base;
    for (int i = 2; i < 1000; ++i) {
        std::string name = base + "." + std::to_string(i);
        if (lstat(name.c_str(), &st) != 0)
            return name;
    }
    return std::string();
}

void SyncFolderOf(const std::string& path)
{
    int fd = open(path.substr(0, path.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

HiveResult CleanRunValues(const std::string& hivePath, const std::vector<std::string>& infectedPaths,
                          const std::string& windowsDir, const std::string& drive, bool write)
{
    HiveResult result;
    if (!HeaderSaysWhole(hivePath, result.why)) {
        result.outcome = HiveOutcome::Damaged;
        return result;
    }
    HiveCloser hive{hivex_open(hivePath.c_str(), write ? HIVEX_OPEN_WRITE : 0)};
    if (!hive.h) {
        result.outcome = HiveOutcome::Damaged;
        result.why = std::string("cannot be read as a hive (") + strerror(errno) + ")";
        return result;
    }
    hive_h* h = hive.h;

    bool changed = false;
    for (const char* keyPath : kRunKeys) {
        hive_node_h key = FindKey(h, keyPath);
        if (!key)
            continue;
        hive_value_h* values = hivex_node_values(h, key);
        if (!values) {
            result.outcome = HiveOutcome::Damaged;
            result.why = std::string("has a key that cannot be read: ") + keyPath;
            return result;
        }
        std::vector<hive_set_value> kept;
        std::vector<char*> owned;
        bool removedHere = false;
        bool unreadable = false;
        for (size_t i = 0; values[i]; ++i) {
            char* name = hivex_value_key(h, values[i]);
            hive_type type;
            size_t length = 0;
            char* raw = hivex_value_value(h, values[i], &type, &length);
            if (!name || !raw) {
                free(name);
                free(raw);
                unreadable = true;
                break;
            }
            owned.push_back(name);
            owned.push_back(raw);
            std::string file;
            if (type == kRegSz || type == kRegExpandSz) {
                char* text = hivex_value_string(h, values[i]);
                if (text) {
                    std::string data = text;
                    free(text);
                    std::string expanded = Expand(data, windowsDir, drive);
                    for (const std::string& infected : infectedPaths) {
                        RunValueVerdict verdict = DecideRunValue(data.c_str(), expanded.c_str(), infected.c_str());
                        if (verdict == RunValueVerdict::NameCaseDelete || verdict == RunValueVerdict::PathCaseDelete) {
                            result.findings.push_back({keyPath, name, data, infected});
                            file = infected;
                            break;
                        }
                    }
                }
            }
            if (!file.empty()) {
                removedHere = true;
                continue;
            }
            kept.push_back(hive_set_value{name, type, length, raw});
        }
        free(values);
        bool ok = !unreadable;
        if (ok && removedHere && write)
            ok = hivex_node_set_values(h, key, kept.size(), kept.data(), 0) == 0;
        for (char* p : owned)
            free(p);
        if (unreadable) {
            result.outcome = HiveOutcome::Damaged;
            result.why = std::string("has a value that cannot be read under ") + keyPath;
            return result;
        }
        if (!ok) {
            result.outcome = HiveOutcome::WriteFailed;
            result.why = std::string("could not be changed (") + strerror(errno) + ")";
            return result;
        }
        changed = changed || removedHere;
    }
    if (!changed)
        return result;
    if (!write) {
        result.outcome = HiveOutcome::Found;
        return result;
    }

    // The new hive goes to a file of its own and must read back as a hive
    // before anything is replaced.
    std::string fresh = hivePath + ".scourix-newXXXXXX";
    int fd = mkstemp(&fresh[0]);
    if (fd < 0) {
        result.outcome = HiveOutcome::WriteFailed;
        result.why = std::string("the new hive cannot be written (") + strerror(errno) + ")";
        return result;
    }
    close(fd);
    bool ok = hivex_commit(h, fresh.c_str(), 0) == 0;
    if (ok) {
        hive_h* check = hivex_open(fresh.c_str(), 0);
        ok = check != nullptr;
        if (check)
            hivex_close(check);
        int sync = open(fresh.c_str(), O_RDONLY | O_CLOEXEC);
        ok = ok && sync >= 0 && fsync(sync) == 0;
        if (sync >= 0)
            close(sync);
    }
    if (!ok) {
        result.outcome = HiveOutcome::WriteFailed;
        result.why = std::string("the new hive cannot be written (") + strerror(errno) + ")";
        unlink(fresh.c_str());
        return result;
    }
    result.backupPath = BackupName(hivePath);
    if (result.backupPath.empty() || !CopyFileExact(hivePath, result.backupPath, result.why)) {
        if (result.backupPath.empty())
            result.why = "no free name for the copy of the hive";
        result.outcome = HiveOutcome::WriteFailed;
        result.backupPath.clear();
        unlink(fresh.c_str());
        return result;
    }
    struct stat st;
    if (stat(hivePath.c_str(), &st) == 0)
        chmod(fresh.c_str(), st.st_mode & 07777);
    if (rename(fresh.c_str(), hivePath.c_str()) != 0) {
        result.outcome = HiveOutcome::WriteFailed;
        result.why = std::string("the new hive cannot replace the old one (") + strerror(errno) + ")";
        unlink(fresh.c_str());
        return result;
    }
    SyncFolderOf(hivePath);
    result.outcome = HiveOutcome::Cleaned;
    return result;
}
