// Native fuzz target for the performance-data and counter-title parsing (not
// part of the Windows build). Build and run on the host, e.g.:
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/memscan/perf_data_fuzz.cpp memscan/perf_data.cpp -o perf_data_fuzz
//   ./perf_data_fuzz -max_len=4096
#include "memscan/perf_data.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that the sanitizer sees any read past the end.
    std::vector<uint8_t> buf(data, data + size);
    PerfCounterTitles titles;
    ParseCounterTitles(buf.data(), buf.size(), &titles);
    PerfProcessEntry table[kPerfTableSize];
    // 784 is the "id process" index of the usual titles (and of the seeds that
    // tests/memscan/perf_block.h builds).
    int n = ParsePerfProcessTable(buf.data(), buf.size(), 784, PerfAsciiNameConverter, table);
    if (n < 0 || n > kPerfMaxEntries)
        __builtin_trap();
    for (int i = 0; i < n; ++i) {
        if (strlen(table[i].name) > 16)
            __builtin_trap();
        PerfInstanceNameMatches(table[i].name, "svc");
    }
    std::vector<char> path(buf.begin(), buf.end());
    path.push_back('\0');
    char target[32];
    PerfTargetFromPath(path.data(), target, sizeof target);
    return 0;
}
