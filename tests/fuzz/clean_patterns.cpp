// The record matching against every PE file Wine installs, each read as if it
// had the exact length of every record in turn: the length rule, which turns
// almost every clean file away before it is opened, is taken out of the way
// so that only the patterns decide. No clean file may match.
#include "detect/detection.h"
#include "detect/pe_match.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> folders(argv + 1, argv + argc);
    if (folders.empty())
        folders = {"/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"};
    long files = 0, headers = 0, matches = 0;
    for (const std::string& folder : folders) {
        DIR* d = opendir(folder.c_str());
        if (!d)
            continue;
        while (dirent* e = readdir(d)) {
            const std::string path = folder + "/" + e->d_name;
            struct stat st;
            if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            const int fd = open(path.c_str(), O_RDONLY); // read only: the host's files
            if (fd < 0)
                continue;
            ++files;
            headers += ReadPeHeaders(fd);
            for (int r = 0; r < kDetectionRecordCount; ++r) {
                const int found = FindMatchingRecord(fd, DetectionTable[r].size);
                if (found >= 0) {
                    ++matches;
                    fprintf(stderr, "FALSE POSITIVE: %s as %s\n", path.c_str(), DetectionTable[found].name);
                }
            }
            close(fd);
        }
        closedir(d);
    }
    printf("clean PE files: %ld read (%ld with PE headers), %ld matches at every record length\n", files, headers,
           matches);
    return files > 1000 && matches == 0 ? 0 : 1;
}
