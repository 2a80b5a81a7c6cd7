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

// A file of the record's full length whose two pattern windows sit at the
// given file offsets, each through a 20-byte section of its own.
constexpr uint32_t kEntry = 0x100000;

Bytes FullSizePe(int record, uint32_t at1, uint32_t at2, size_t fileSize)
{
    const DetectionRecord& r = DetectionTable[record];
    Bytes b = Header(2, fileSize);
    Put16(b, 0x40 + 4 + 16, 224);
    Put32(b, 0x58 + 16, kEntry);
    const std::pair<uint32_t, uint32_t> windows[] = {{kEntry + uint32_t(r.offset1), at1},
                                                     {kEntry + uint32_t(r.offset2), at2}};
    const unsigned char* patterns[] = {r.pattern1, r.pattern2};
    // Sections in order of their RVAs, as the lookup takes the first whose end lies past the RVA.
    const bool swap = windows[1].first < windows[0].first;
    for (int i = 0; i < 2; ++i) {
        const auto& w = windows[swap ? 1 - i : i];
        const size_t s = 0x138 + 40 * size_t(i);
        Put32(b, s + 8, 20);
        Put32(b, s + 12, w.first);
        Put32(b, s + 20, w.second);
    }
    for (int i = 0; i < 2; ++i)
        for (size_t k = 0; k < kPatternLength && windows[i].second + k < b.size(); ++k)
            b[windows[i].second + k] = patterns[i][k];
    return b;
}

struct LayoutCase {
    const char* name;
    int record;
    // Window offsets from the start (negative: from the end) and the match.
    long at1, at2;
    bool matches;
};

long Place(long at, size_t size) { return at >= 0 ? at : long(size) + at; }

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

    // Full-size files, read in pieces: the windows in the head, in one span,
    // far apart, across the end of the head, in the last bytes and past them.
    // Record 12 (3.5 MB) is read as head and span; record 1 (8 kB) whole.
    const LayoutCase layouts[] = {
        {"large-windows-in-head", 12, 0x400, 0x800, true},
        {"large-windows-in-one-span", 12, 0x200000, 0x208000, true},
        {"large-windows-far-apart", 12, 0x2000, -20, true},
        {"large-window-across-head-end", 12, 4096 - 10, 0x300000, true},
        {"large-window-in-last-bytes", 12, 0x10000, -20, true},
        {"large-window-past-the-end", 12, 0x10000, -19, false},
        {"small-windows-anywhere", 1, 0x400, -20, true},
        {"small-window-past-the-end", 1, 0x400, -19, false},
        {"mid-windows-span-the-file", 6, 0x1000, -20, true},
    };
    for (const LayoutCase& c : layouts) {
        const size_t size = size_t(DetectionTable[c.record].size);
        Bytes b = FullSizePe(c.record, uint32_t(Place(c.at1, size)), uint32_t(Place(c.at2, size)), size);
        b.push_back(uint8_t(c.record));
        FuzzPe(b.data(), b.size()); // agrees with reading by seeking, or aborts
        Expect(MatchSeed(b) == (c.matches ? c.record : -1), std::string("layout ") + c.name);
        // The file believed longer than it is: the windows near its end are not there.
        b.back() = uint8_t(c.record == 12 ? 2 : 12);
        FuzzPe(b.data(), b.size());
    }

    printf("%s\n", g_failures ? "native regressions: FAILED" : "native regressions: all passed");
    return g_failures ? 1 : 0;
}
