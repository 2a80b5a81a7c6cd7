// The bare walk the rescue scanner is measured against: every folder listed
// and the size of every file read, nothing else.
//   rescue_bare_walk ROOT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

static long g_files;
static long long g_bytes;

static void Walk(int dirfd)
{
    DIR* dir = fdopendir(dirfd);
    if (!dir) {
        close(dirfd);
        return;
    }
    while (dirent* e = readdir(dir)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        struct stat st;
        if (fstatat(dirfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            int fd = openat(dirfd, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0)
                Walk(fd);
        } else if (S_ISREG(st.st_mode)) {
            ++g_files;
            g_bytes += st.st_size;
        }
    }
    closedir(dir);
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 1;
    Walk(fd);
    printf("%ld files, %lld bytes\n", g_files, g_bytes);
    return 0;
}
