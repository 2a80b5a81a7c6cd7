#include "rescue/tests/program_run.h"

#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace scx::rescue_test {

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

void RemoveTreeAt(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* e = readdir(dir))
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                    RemoveTreeAt(path + "/" + e->d_name);
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

} // namespace scx::rescue_test
