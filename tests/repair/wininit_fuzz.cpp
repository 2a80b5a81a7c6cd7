// Native fuzz target for the wininit.ini rewriting (not part of the Windows
// build). Build and run on the host, e.g.:
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/repair/wininit_fuzz.cpp repair/wininit_edit.cpp -o wininit_fuzz
//   ./wininit_fuzz -max_len=3000
// Checks: the old bytes come out unchanged, in order, with exactly the entry
// (and at most a line end and a header) added, the entry on its own line.
#include "repair/wininit_edit.h"

#include <string>
#include <vector>

namespace {
struct StringOutput final : WininitOutput {
    std::string text;
    bool Write(const char* data, size_t length) override
    {
        text.append(data, length);
        return true;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> buf(data, data + size);
    std::string old(buf.begin(), buf.end());
    const std::string entry = "NUL=C:\\X.EXE\r\n";
    if (old.find("NUL=C:\\X") != std::string::npos)
        return 0; // the entry must be recognisable in the result
    MemoryWininitInput in(buf.data(), buf.size());
    StringOutput out;
    if (!RewriteWininit(in, out, "NUL", "C:\\X.EXE"))
        __builtin_trap();
    size_t at = out.text.find(entry);
    if (at == std::string::npos || (at > 0 && out.text[at - 1] != '\n'))
        __builtin_trap();
    std::string rest = out.text.substr(0, at) + out.text.substr(at + entry.size());
    if (rest.compare(0, old.size(), old) != 0)
        __builtin_trap();
    std::string added = rest.substr(old.size());
    if (added != "" && added != "\r\n" && added != "[rename]\r\n" && added != "\r\n[rename]\r\n")
        __builtin_trap();
    return 0;
}
