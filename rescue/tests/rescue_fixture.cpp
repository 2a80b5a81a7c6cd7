#include "rescue/tests/rescue_fixture.h"

#include "cli/quarantine_format.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <linux/capability.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace scx::rescue_test {

namespace {

void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>& out)
{
    DIR* dir = opendir((root + (relative.empty() ? "" : "/" + relative)).c_str());
    if (!dir)
        return;
    while (dirent* e = readdir(dir)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        std::string sub = relative.empty() ? e->d_name : relative + "/" + e->d_name;
        struct stat st;
        if (lstat((root + "/" + sub).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            ListInto(root, sub, out);
        else
            out.push_back(sub);
    }
    closedir(dir);
}

} // namespace

void RemoveTree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* e = readdir(dir)) {
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                    RemoveTree(path + "/" + e->d_name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::string Sha256Of(const std::vector<uint8_t>& bytes)
{
    Sha256State state;
    Sha256Begin(state);
    Sha256Add(state, bytes.data(), bytes.size());
    char hex[65];
    Sha256End(state, hex);
    return hex;
}

RescueRun RunInChild(const std::function<int()>& body)
{
    RescueRun run;
    int out[2], err[2];
    if (pipe(out) != 0)
        return run;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return run;
    }
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        int code = body();
        fflush(nullptr);
        _exit(code);
    }
    close(out[1]);
    close(err[1]);
    // Both at once: Wine can fill either pipe while the other waits.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && pid > 0) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0)
            close(f.fd);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    run.code = pid < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    size_t start = 0;
    while (start < run.out.size()) {
        size_t end = run.out.find('\n', start);
        if (end == std::string::npos)
            end = run.out.size();
        std::string line = run.out.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') // the Windows programs end lines in CR LF
            line.pop_back();
        run.lines.push_back(line);
        start = end + 1;
    }
    return run;
}

RescueRun RunProgram(const std::vector<std::string>& argv)
{
    return RunInChild([&argv] {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        fprintf(stderr, "cannot start %s: %s\n", args[0], strerror(errno));
        return 127;
    });
}


RescueRun RunRescue(const std::vector<std::string>& args, bool withoutOverride)
{
    return RunInChild([&args, withoutOverride] {
        if (withoutOverride) {
            // Gone from the bounding set, the rights are gone after exec too.
            prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(SCX_RESCUE_PROGRAM));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(SCX_RESCUE_PROGRAM, argv.data());
        return 127;
    });
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    close(fd);
    return ok;
}

bool WriteText(const std::string& path, const std::string& text)
{
    return WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return bytes;
    uint8_t buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    close(fd);
    return bytes;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void MakeFolders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

std::vector<std::string> ListTree(const std::string& root)
{
    std::vector<std::string> out;
    ListInto(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

void ScratchTest::SetUp()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    dir = std::string(SCX_RESCUE_SCRATCH) + "/" + name;
    RemoveTree(dir);
    MakeFolders(dir);
}

void ScratchTest::TearDown()
{
    if (!HasFailure())
        RemoveTree(dir);
}

std::vector<std::string> ResultLines(const RescueRun& run)
{
    std::vector<std::string> lines;
    for (const std::string& line : run.lines) {
        if (line == " " || line == "Scanning statistics")
            break;
        lines.push_back(line);
    }
    return lines;
}

int StatisticsCount(const RescueRun& run, const char* label)
{
    for (const std::string& line : run.lines) {
        if (line.rfind(label, 0) == 0) {
            size_t colon = line.find(":  ");
            return colon == std::string::npos ? -1 : atoi(line.c_str() + colon + 3);
        }
    }
    return -1;
}

} // namespace scx::rescue_test
