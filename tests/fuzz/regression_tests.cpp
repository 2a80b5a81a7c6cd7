// Native regression cases for the file-format code, run under the sanitizers:
// every generated seed through its harness, the compact record samples
// against the matcher, and hand-made hostile inputs. Inputs that crashed a
// fuzzer live in regressions/<target>/ and are replayed by ctest as well.
#include "tests/fuzz/harness.h"

#include "detect/detection.h"
#include "detect/pe_match.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;
int g_failures = 0;

void Expect(bool ok, const std::string& what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++g_failures;
    }
}

int FileOf(const Bytes& bytes, size_t count)
{
    int fd = memfd_create("scx-regression", 0);
    if (fd >= 0 && pwrite(fd, bytes.data(), count, 0) != ssize_t(count)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// The record the matcher reports for a seed (last byte: claimed length).
int MatchSeed(const Bytes& seed)
{
    const int fd = FileOf(seed, seed.size() - 1);
    if (fd < 0)
        return -2;
    const uint8_t pick = seed.back();
    const int32_t claimed = pick < kDetectionRecordCount ? DetectionTable[pick].size : int32_t(seed.size() - 1);
    const int r = FindMatchingRecord(fd, claimed);
    close(fd);
    return r;
}

void Put16(Bytes& b, size_t at, uint16_t v) { memcpy(&b[at], &v, 2); }
void Put32(Bytes& b, size_t at, uint32_t v) { memcpy(&b[at], &v, 4); }

// A bare PE header at 0x40 with the given section count.
Bytes Header(uint16_t sections, size_t size = 0x400)
{
    Bytes b(size, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    memcpy(&b[0x40], "PE\0\0", 4);
    Put16(b, 0x46, sections);
    return b;
}

struct HostileCase {
    const char* name;
    std::function<Bytes()> build;
};

} // namespace

int main()
{
    using namespace scx::fuzz;
    const std::pair<const char*, int (*)(const uint8_t*, size_t)> targets[] = {
        {"fuzz_pe", FuzzPe}, {"fuzz_mail", FuzzMail}, {"fuzz_wininit", FuzzWininit},
        {"fuzz_perf", FuzzPerf}, {"fuzz_run_value", FuzzRunValue}};
    for (const auto& t : targets)
        for (const Seed& s : SeedsFor(t.first))
            t.second(s.second.data(), s.second.size());

    // The compact samples reach the match of their own record, and only it;
    // their near misses match nothing.
    for (const Seed& s : SeedsFor("fuzz_pe")) {
        if (s.first.rfind("record", 0) != 0)
            continue;
        const int record = std::stoi(s.first.substr(6));
        const bool match = s.first.find("-match") != std::string::npos;
        Expect(MatchSeed(s.second) == (match ? record : -1), "pe seed " + s.first);
    }
    for (const char* name : {"own-length", "empty", "text", "dos-only"})
        for (const Seed& s : SeedsFor("fuzz_pe"))
            if (s.first == name && !s.second.empty())
                Expect(MatchSeed(s.second) == -1, std::string("pe seed ") + name);

    const HostileCase hostile[] = {
        {"pe-pointer-past-end", [] { Bytes b = Header(1); Put32(b, 0x3C, 0xFFFF); return b; }},
        {"pe-pointer-into-dos-header", [] { Bytes b = Header(1); Put32(b, 0x3C, 0x3A); return b; }},
        {"pe-65535-sections", [] { return Header(0xFFFF); }},
        {"pe-20-sections-table-cut", [] { return Header(20, 0x138 + 20 * 40 - 1); }},
        {"pe-section-end-wraps", [] {
             Bytes b = Header(2);
             Put32(b, 0x138 + 8, 0xFFFFFFF0u);  // VirtualSize
             Put32(b, 0x138 + 12, 0x20);        // VirtualAddress: end wraps to 0x10
             Put32(b, 0x138 + 20, 0xFFFFFF00u); // PointerToRawData
             Put32(b, 0x58 + 16, 0xFFFFFFFFu);  // entry point at the top
             return b;
         }},
        {"pe-size-of-headers-huge", [] { Bytes b = Header(0); Put32(b, 0x58 + 60, 0xFFFFFFFFu); return b; }},
    };
    for (const HostileCase& h : hostile) {
        Bytes input = h.build();
        for (uint8_t pick : {uint8_t(0xFF), uint8_t(2), uint8_t(12)}) {
            Bytes withPick = input;
            withPick.push_back(pick);
            FuzzPe(withPick.data(), withPick.size());
            Expect(MatchSeed(withPick) == -1, std::string("hostile ") + h.name);
        }
    }

    printf("%s\n", g_failures ? "native regressions: FAILED" : "native regressions: all passed");
    return g_failures ? 1 : 0;
}
