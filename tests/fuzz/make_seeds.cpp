// Writes the generated seed corpora: <dir>/<target>/<name>. A few small PE
// files that Wine installs join the PE seeds when they are present (read
// only, copied into the build folder).
#include "tests/fuzz/harness.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

void AddWinePeFiles(const std::string& dir, size_t maxFiles)
{
    const char* folders[] = {"/usr/lib/i386-linux-gnu/wine/i386-windows"};
    size_t added = 0;
    for (const char* folder : folders) {
        DIR* d = opendir(folder);
        if (!d)
            continue;
        std::vector<std::string> names;
        while (dirent* e = readdir(d))
            names.push_back(e->d_name);
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (added >= maxFiles)
                break;
            struct stat st;
            const std::string path = std::string(folder) + "/" + name;
            if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 24 * 1024 || st.st_size < 1024)
                continue;
            std::ifstream in(path, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            bytes.push_back(0xFF); // its own length
            if (WriteFile(dir + "/wine-" + name, bytes))
                ++added;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds <dir>\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0755);
    for (const char* target : {"fuzz_pe", "fuzz_mail", "fuzz_wininit", "fuzz_perf", "fuzz_run_value"}) {
        const std::string dir = root + "/" + target;
        mkdir(dir.c_str(), 0755);
        size_t n = 0;
        for (const auto& seed : scx::fuzz::SeedsFor(target)) {
            if (!WriteFile(dir + "/" + seed.first, seed.second))
                return 1;
            ++n;
        }
        if (std::string(target) == "fuzz_pe")
            AddWinePeFiles(dir, 8);
        printf("%s: %zu generated seeds\n", target, n);
    }
    return 0;
}
