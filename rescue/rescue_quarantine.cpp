// The console program's quarantine (/B) made and read natively: the same
// copies and manifest lines, through the same format functions.
#include "rescue/rescue.h"

#include "cli/quarantine_format.h"
#include "detect/text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr char kManifestName[] = "manifest.tsv";
constexpr char kCopySuffix[] = ".vxq";
// No trojan image of the family comes near this; a larger file is left in place.
constexpr uint64_t kMaxKeptBytes = 256ull * 1024 * 1024;
constexpr size_t kMaxManifestBytes = 16 * 1024 * 1024;
constexpr size_t kChunk = 64 * 1024;

bool Fail(std::string& why, const std::string& text)
{
    why = text;
    return false;
}

std::string Errno() { return strerror(errno); }

bool WriteAll(int fd, const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        length -= size_t(n);
    }
    return true;
}

ssize_t ReadSome(int fd, void* data, size_t length)
{
    for (;;) {
        ssize_t n = read(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

void UtcTimeText(char* out, size_t size)
{
    time_t now = time(nullptr);
    struct tm t;
    gmtime_r(&now, &t);
    strftime(out, size, "%Y-%m-%dT%H:%M:%SZ", &t);
}

// Whether the kept copy at path decodes to size bytes with this SHA-256.
bool KeptCopyHolds(const std::string& path, const char* sha256, uint64_t size)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    char magic[sizeof kQuarantineMagic];
    bool ok = ReadSome(fd, magic, sizeof magic) == ssize_t(sizeof magic) &&
              memcmp(magic, kQuarantineMagic, sizeof magic) == 0;
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    static uint8_t chunk[kChunk];
    while (ok) {
        ssize_t n = ReadSome(fd, chunk, sizeof chunk);
        if (n < 0 || done + uint64_t(n) > size)
            ok = false;
        if (n <= 0)
            break;
        TransformQuarantineBytes(chunk, size_t(n), done);
        Sha256Add(hash, chunk, size_t(n));
        done += uint64_t(n);
    }
    close(fd);
    char digest[65];
    Sha256End(hash, digest);
    return ok && done == size && strcmp(digest, sha256) == 0;
}

bool ReadManifest(const std::string& folder, std::string& text, std::string& why)
{
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(why, "there is no quarantine folder " + folder);
    int fd = open((folder + "/" + kManifestName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    text.clear();
    if (fd < 0)
        return errno == ENOENT ? true : Fail(why, "the manifest cannot be read (" + Errno() + ")");
    bool ok = fstat(fd, &st) == 0 && uint64_t(st.st_size) <= kMaxManifestBytes;
    if (!ok) {
        close(fd);
        return Fail(why, "the manifest is too large to read");
    }
    text.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
        ssize_t n = ReadSome(fd, &text[got], text.size() - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    // A part of the manifest must never pass for all of it: a restore writes
    // the manifest back from what was read here.
    if (got != text.size())
        return Fail(why, "the manifest cannot be read whole");
    return true;
}

// Moves from over to without replacing anything that stands there.
bool RenameNoReplace(const std::string& from, const std::string& to)
{
#ifdef SYS_renameat2
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* RENAME_NOREPLACE */) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // File systems without the flag: a hard link refuses an existing name too.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str());
    return true;
}

// One writer of the manifest at a time, across runs: a scan from naming its
// copy to appending its line, a restore from its read to its rewrite. The
// lock file is the console program's name for it; it goes when released, and
// a run that locked a name already unlinked by another tries again.
class ManifestLock {
public:
    bool Take(const std::string& folder, std::string& why)
    {
        path_ = folder + "/manifest.lock";
        for (int waited = 0;; waited += 100) {
            fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd_ < 0)
                return Fail(why, "the quarantine cannot be locked (" + Errno() + ")");
            if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                struct stat held, named;
                if (fstat(fd_, &held) == 0 && lstat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                    held.st_ino == named.st_ino)
                    return true;
            } else if (errno != EWOULDBLOCK) {
                const std::string error = Errno();
                Release();
                return Fail(why, "the quarantine cannot be locked (" + error + ")");
            }
            close(fd_);
            fd_ = -1;
            if (waited >= kLockWaitMs)
                return Fail(why, "the quarantine is in use by another run (waited " + std::to_string(waited / 1000) +
                                     " s)");
            usleep(100 * 1000);
        }
    }
    void Release()
    {
        if (fd_ < 0)
            return;
        unlink(path_.c_str());
        close(fd_);
        fd_ = -1;
    }
    ~ManifestLock() { Release(); }

private:
    static constexpr int kLockWaitMs = 10000;
    std::string path_;
    int fd_ = -1;
};

// File systems that keep no owners or modes of their own: every entry shows
// the mount's owner and mask.
bool KeepsNoOwners(const std::string& folder)
{
    struct statfs fs;
    if (statfs(folder.c_str(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44ul:     // FAT
    case 0x2011bab0ul: // exFAT
    case 0x5346544eul: // NTFS
    case 0x7366746eul: // NTFS (ntfs3)
    case 0x65735546ul: // FUSE (ntfs-3g)
        return true;
    default:
        return false;
    }
}

// What the folder holds decides what a restore writes, and where: nobody but
// this user (or root) may have made it or be able to add to it. On a mounted
// Windows disk that keeps no owners, whoever may write to the folder may
// write to the whole installation already, so there only its owner counts.
bool FolderTrusted(const std::string& folder, std::string& why)
{
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        return Fail(why, "the quarantine folder cannot be read (" + Errno() + ")");
    if (!S_ISDIR(st.st_mode))
        return Fail(why, "the quarantine folder name is taken by a file");
    if (st.st_uid != geteuid() && st.st_uid != 0)
        return Fail(why, "the quarantine folder belongs to another user (uid " + std::to_string(st.st_uid) +
                             "); use a folder of your own");
    if ((st.st_mode & S_IWOTH) && !KeepsNoOwners(folder))
        return Fail(why, "others may write to the quarantine folder; use a folder only you may write to");
    return true;
}

void SyncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

bool KeepInQuarantine(const std::string& folder, int fd, const std::string& windowsPath,
                      const std::string& detectionName, std::string& why)
{
    static ManifestEntry entry;
    memset(&entry, 0, sizeof entry);
    if (!IsValidUtf8(windowsPath) || !CopyText(entry.name, sizeof entry.name, detectionName.c_str()) ||
        !CopyText(entry.path, sizeof entry.path, windowsPath.c_str()))
        return Fail(why, "the name cannot be written to the manifest");
    if (mkdir(folder.c_str(), 0700) != 0) {
        if (errno != EEXIST)
            return Fail(why, "the quarantine folder cannot be created (" + Errno() + ")");
        if (!FolderTrusted(folder, why))
            return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0)
        return Fail(why, "the file's size cannot be read (" + Errno() + ")");
    if (uint64_t(st.st_size) > kMaxKeptBytes)
        return Fail(why, "the file is too large to keep");
    if (lseek(fd, 0, SEEK_SET) != 0)
        return Fail(why, "the file cannot be read (" + Errno() + ")");

    std::string temp = folder + "/scqXXXXXX";
    int copy = mkstemp(&temp[0]);
    if (copy < 0)
        return Fail(why, "the copy cannot be written (" + Errno() + ")");
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    static uint8_t chunk[kChunk];
    bool ok = WriteAll(copy, kQuarantineMagic, sizeof kQuarantineMagic);
    bool readFailed = false;
    while (ok) {
        ssize_t n = ReadSome(fd, chunk, sizeof chunk);
        if (n < 0) {
            readFailed = true;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (done + uint64_t(n) > kMaxKeptBytes) { // grew while being read
            ok = false;
            break;
        }
        Sha256Add(hash, chunk, size_t(n));
        TransformQuarantineBytes(chunk, size_t(n), done);
        ok = WriteAll(copy, chunk, size_t(n));
        done += uint64_t(n);
    }
    std::string error = Errno();
    ok = ok && fsync(copy) == 0;
    close(copy);
    if (!ok) {
        unlink(temp.c_str());
        return Fail(why, std::string(readFailed ? "the file cannot be read (" : "the copy cannot be written (") +
                             error + ")");
    }
    Sha256End(hash, entry.sha256);
    entry.size = done;
    UtcTimeText(entry.time, sizeof entry.time);

    ManifestLock lock;
    if (!lock.Take(folder, why)) {
        unlink(temp.c_str());
        return false;
    }
    const std::string kept = folder + "/" + entry.sha256 + kCopySuffix;
    // The same bytes kept before: that copy serves both lines, but only when
    // it still gives them back; a damaged one is replaced by the new copy.
    bool keptBefore = access(kept.c_str(), F_OK) == 0;
    if (keptBefore && !KeptCopyHolds(kept, entry.sha256, done)) {
        if (unlink(kept.c_str()) != 0) {
            unlink(temp.c_str());
            return Fail(why, "a damaged earlier copy cannot be replaced (" + Errno() + ")");
        }
        keptBefore = false;
    }
    if (keptBefore) {
        unlink(temp.c_str());
    } else if (rename(temp.c_str(), kept.c_str()) != 0) {
        error = Errno();
        unlink(temp.c_str());
        return Fail(why, "the copy cannot be named (" + error + ")");
    }

    char line[kManifestLineChars + 64];
    bool written = FormatManifestLine(entry, line, sizeof line);
    if (written) {
        // Names in the folder are never followed: a link planted there must
        // not have a root run append to the file it leads to.
        int list = open((folder + "/" + kManifestName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        off_t end = list >= 0 ? lseek(list, 0, SEEK_END) : -1;
        written = end >= 0;
        if (written && end > 0) {
            // A manifest that does not end with a line end gets one first, so
            // the next line is never read as part of a line cut short.
            char last = 0;
            written = pread(list, &last, 1, end - 1) == 1 && (last == '\n' || WriteAll(list, "\r\n", 2));
        }
        written = written && WriteAll(list, line, strlen(line)) && fsync(list) == 0;
        if (!written && end >= 0)
            (void)ftruncate(list, end); // no half line for the next one to be glued to
        if (list >= 0)
            close(list);
    }
    if (!written) {
        error = Errno();
        if (!keptBefore)
            unlink(kept.c_str());
        return Fail(why, "the manifest cannot be written (" + error + ")");
    }
    SyncFolder(folder);
    return true;
}

bool RestoreFromQuarantine(const std::string& folder, const std::string& sha256, const std::string& root,
                           const std::string& drive, std::string& message)
{
    char wanted[80];
    if (!CopyText(wanted, sizeof wanted, sha256.c_str()) || !NormaliseSha256Hex(wanted))
        return Fail(message, "not a SHA-256 (64 hexadecimal digits): " + DisplayText(sha256.substr(0, 80)));
    if (!FolderTrusted(folder, message))
        return false;
    ManifestLock lock;
    if (!lock.Take(folder, message))
        return false;
    std::string text;
    if (!ReadManifest(folder, text, message))
        return false;

    static ManifestEntry entry;
    static ManifestEntry found;
    bool any = false, open = false;
    size_t lineStart = 0, nextStart = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        size_t lineEnd = end == std::string::npos ? text.size() : end;
        if (lineEnd > start && text[lineEnd - 1] == '\r')
            --lineEnd;
        if (ParseManifestLine(text.data() + start, lineEnd - start, entry) && strcmp(entry.sha256, wanted) == 0) {
            any = true;
            if (entry.restored[0] == '\0') { // the latest copy still kept wins
                open = true;
                found = entry;
                lineStart = start;
                nextStart = next;
            }
        }
        start = next;
    }
    if (!open)
        return Fail(message, std::string(wanted) + (any ? " was restored before" : " is not in the quarantine"));

    const std::string original = found.path;
    if (original.size() < 3 || !EqualNoCase(original.substr(0, 2).c_str(), drive.c_str()) || original[2] != '\\')
        return Fail(message, "the original path " + DisplayText(original) + " is not on drive " + drive);
    std::string target = FindNoCase(root, original.substr(3), true);
    if (target.empty())
        return Fail(message, "the folder of " + DisplayText(original) + " does not exist below " + root);
    struct stat st;
    if (lstat(target.c_str(), &st) == 0)
        return Fail(message, DisplayText(original) + " exists; nothing was replaced");

    const std::string kept = folder + "/" + wanted + kCopySuffix;
    int copy = ::open(kept.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (copy < 0)
        return Fail(message, "the kept copy " + kept + " cannot be read (" + Errno() + ")");
    char magic[sizeof kQuarantineMagic];
    if (ReadSome(copy, magic, sizeof magic) != ssize_t(sizeof magic) ||
        memcmp(magic, kQuarantineMagic, sizeof magic) != 0) {
        close(copy);
        return Fail(message, kept + " is not a kept copy");
    }
    // Written beside the original under a temporary name, then moved: the
    // original path never holds a half-written file, and the move refuses a
    // file that appeared meanwhile.
    std::string temp = target.substr(0, target.rfind('/')) + "/.scqXXXXXX";
    int out = mkstemp(&temp[0]);
    if (out < 0) {
        close(copy);
        return Fail(message, "cannot write beside " + DisplayText(original) + " (" + Errno() + ")");
    }
    Sha256State hash;
    Sha256Begin(hash);
    uint64_t done = 0;
    static uint8_t chunk[kChunk];
    bool ok = true;
    for (;;) {
        ssize_t n = ReadSome(copy, chunk, sizeof chunk);
        if (n < 0 || done + uint64_t(n > 0 ? n : 0) > found.size) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        TransformQuarantineBytes(chunk, size_t(n), done);
        Sha256Add(hash, chunk, size_t(n));
        ok = WriteAll(out, chunk, size_t(n));
        done += uint64_t(n);
        if (!ok)
            break;
    }
    close(copy);
    ok = ok && fsync(out) == 0;
    close(out);
    char digest[65];
    Sha256End(hash, digest);
    if (!ok || done != found.size || strcmp(digest, wanted) != 0) {
        unlink(temp.c_str());
        return Fail(message, ok ? "the kept copy " + kept + " is damaged; nothing was restored"
                                : "the file could not be written back from " + kept);
    }
    chmod(temp.c_str(), 0644);
    if (!RenameNoReplace(temp, target)) {
        std::string error = Errno();
        unlink(temp.c_str());
        return Fail(message, DisplayText(original) + " cannot be put back (" + error + "); nothing was replaced");
    }

    UtcTimeText(found.restored, sizeof found.restored);
    char line[kManifestLineChars + 64];
    bool marked = false;
    if (FormatManifestLine(found, line, sizeof line)) {
        std::string updated = text.substr(0, lineStart) + line + text.substr(nextStart);
        std::string fresh = folder + "/manifest.new"; // a link there is not written through
        int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        marked = fd >= 0 && WriteAll(fd, updated.data(), updated.size()) && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        marked = marked && rename(fresh.c_str(), (folder + "/" + kManifestName).c_str()) == 0;
        if (!marked)
            unlink(fresh.c_str());
    }
    message = (marked ? "restored " : "restored ") + DisplayText(original) +
              (marked ? "" : ", but its manifest line could not be marked");
    return true;
}
