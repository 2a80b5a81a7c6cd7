// Writes the rescue scanner benchmark's tree: FILES files in 20 x 20 folders,
// of which a given share (in tenths of a percent) has a detection record's
// exact length and holds a clean PE program, and a few are planted samples;
// the rest are small text files.
//   rescue_tree OUT FILES PERMILLE_TENTHS SAMPLES
#include "detect/detection.h"
#include "tests/support/sample_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static bool Write(const std::string& path, const void* data, size_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, data, size) == ssize_t(size);
    close(fd);
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: rescue_tree OUT FILES TENTHS_OF_PERCENT_AT_SIZE SAMPLES\n");
        return 2;
    }
    const std::string out = argv[1];
    const long files = atol(argv[2]);
    const long tenths = atol(argv[3]);
    const long samples = atol(argv[4]);
    mkdir(out.c_str(), 0755);
    // Clean programs at the lengths of the smaller records (the 3.6 MB one
    // would only fill the disk).
    std::vector<std::vector<uint8_t>> atSize;
    for (int r = 0; r < kDetectionRecordCount; ++r)
        if (DetectionTable[r].size <= 110000)
            atSize.push_back(scx::test::BuildCleanProgram(uint32_t(DetectionTable[r].size),
                                                          scx::test::SampleMachine::I386));
    const std::string text = "[Settings]\nName=benchmark file\nValue=1234567890\n";
    // One file in every 1000 / tenths is at a record's size; samples spread evenly.
    const long every = tenths > 0 ? 1000 / tenths : 0;
    const long sampleEvery = samples > 0 ? files / samples : 0;
    long written = 0, sized = 0, planted = 0;
    for (int a = 0; a < 20 && written < files; ++a) {
        const std::string da = out + "/dir" + std::to_string(a);
        mkdir(da.c_str(), 0755);
        for (int b = 0; b < 20 && written < files; ++b) {
            const std::string db = da + "/sub" + std::to_string(b);
            mkdir(db.c_str(), 0755);
            const long perFolder = (files + 399) / 400;
            for (long i = 0; i < perFolder && written < files; ++i, ++written) {
                const std::string path = db + "/file" + std::to_string(i);
                bool ok;
                if (sampleEvery && written % sampleEvery == sampleEvery / 2 && planted < samples) {
                    std::vector<uint8_t> s = scx::test::BuildSample(int(planted % 12), scx::test::SampleKind::Exact,
                                                                    scx::test::SampleMachine::I386);
                    ok = Write(path + ".exe", s.data(), s.size());
                    ++planted;
                } else if (every && written % every == 0) {
                    const std::vector<uint8_t>& p = atSize[size_t(sized++) % atSize.size()];
                    ok = Write(path + ".exe", p.data(), p.size());
                } else {
                    ok = Write(path + ".ini", text.data(), text.size());
                }
                if (!ok) {
                    perror(path.c_str());
                    return 1;
                }
            }
        }
    }
    printf("%ld files, %ld at a record's size, %ld samples\n", written, sized, planted);
    return 0;
}
