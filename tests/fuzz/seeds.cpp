// Seed inputs for the fuzz targets, generated rather than stored: compact
// PE images that reach every record's match, near misses, wininit.ini
// variants, performance-data blocks, auto-start values.
#include "tests/fuzz/harness.h"

#include "detect/detection.h"
#include "detect/mail_match.h"
#include "tests/support/perf_block.h"
#include "tests/support/mail_samples.h"

#include <algorithm>
#include <cstring>

namespace scx::fuzz {

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v) { memcpy(&b[at], &v, 2); }
void Put32(Bytes& b, size_t at, uint32_t v) { memcpy(&b[at], &v, 4); }

Bytes FromText(const std::string& s) { return Bytes(s.begin(), s.end()); }

constexpr uint32_t kPeAt = 0x40;
constexpr uint32_t kEntry = 0x100000;
constexpr uint32_t kRawAt = 0x200;

enum class PeVariant { Match, ByteChanged, WrongDistance, NoSignature, TooManySections, Truncated };

// A few hundred bytes that a record matches when the check believes the file
// has the record's length: each pattern gets a 20-byte section of its own, so
// the RVAs far from the entry point map to small file offsets.
Bytes CompactPe(int record, PeVariant variant)
{
    const DetectionRecord& r = DetectionTable[record];
    struct Window { uint32_t rva; const unsigned char* pattern; };
    std::vector<Window> windows = {{kEntry + uint32_t(r.offset1), r.pattern1},
                                   {kEntry + uint32_t(r.offset2), r.pattern2}};
    std::sort(windows.begin(), windows.end(), [](const Window& a, const Window& b) { return a.rva < b.rva; });
    if (windows[0].rva == windows[1].rva)
        windows.pop_back();

    Bytes b(kRawAt + 20 * windows.size(), 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeAt);
    memcpy(&b[kPeAt], "PE\0\0", 4);
    const size_t fh = kPeAt + 4, oh = fh + 20, sh = kPeAt + 248;
    Put16(b, fh + 0, 0x014C);
    Put16(b, fh + 2, uint16_t(variant == PeVariant::TooManySections ? 21 : windows.size()));
    Put16(b, fh + 16, 224);
    Put16(b, oh + 0, 0x010B);
    Put32(b, oh + 16, kEntry);
    Put32(b, oh + 60, kRawAt);
    for (size_t i = 0; i < windows.size(); ++i) {
        const size_t s = sh + 40 * i;
        const uint32_t shift = variant == PeVariant::WrongDistance ? 1 : 0;
        memcpy(&b[s], ".p", 2);
        Put32(b, s + 8, 20);
        Put32(b, s + 12, windows[i].rva + shift);
        Put32(b, s + 16, 20);
        Put32(b, s + 20, kRawAt + 20 * uint32_t(i));
        memcpy(&b[kRawAt + 20 * i], windows[i].pattern, kPatternLength);
    }
    if (variant == PeVariant::ByteChanged)
        b[kRawAt] ^= 0x01;
    if (variant == PeVariant::NoSignature)
        b[kPeAt + 1] = 'X';
    if (variant == PeVariant::Truncated)
        b.resize(sh + 10);
    b.push_back(uint8_t(record)); // the length the check believes: the record's
    return b;
}

std::vector<Seed> PeSeeds()
{
    std::vector<Seed> seeds;
    const std::pair<PeVariant, const char*> variants[] = {
        {PeVariant::Match, "match"},           {PeVariant::ByteChanged, "byte-changed"},
        {PeVariant::WrongDistance, "wrong-distance"}, {PeVariant::NoSignature, "no-signature"},
        {PeVariant::TooManySections, "21-sections"},  {PeVariant::Truncated, "truncated"}};
    for (int r = 0; r < kDetectionRecordCount; ++r)
        for (const auto& v : variants)
            if (v.first == PeVariant::Match || r % 4 == 0)
                seeds.push_back({"record" + std::to_string(r) + "-" + v.second, CompactPe(r, v.first)});
    Bytes own = CompactPe(2, PeVariant::Match);
    own.back() = 0xFF; // its own length: the size rule refuses it
    seeds.push_back({"own-length", own});
    seeds.push_back({"empty", {}});
    seeds.push_back({"text", FromText("hello, this is text, not a program\r\n\xFF")});
    Bytes dos(0x80, 0);
    dos[0] = 'M';
    dos[1] = 'Z';
    dos.push_back(0xFF);
    seeds.push_back({"dos-only", dos});
    return seeds;
}

Bytes WithSelector(uint8_t selector, const std::string& text)
{
    Bytes b{selector};
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

std::vector<Seed> MailSeeds()
{
    using namespace scx::test;
    const std::string pattern(kMailPattern, kMailPatternLength);
    std::vector<Seed> seeds = {
        {"head-3000", WithSelector(0, MailFileWith(3000, 500, pattern))},
        {"split", WithSelector(0, MailFileWith(3000, 500, SplitPattern()))},
        {"middle-10000", WithSelector(0, MailFileWith(10000, 6000, pattern))},
        {"tail-5000", WithSelector(0, MailFileWith(5000, 4500, pattern))},
        {"no-begin", WithSelector(0, "BEGAN " + pattern)},
        {"caps", WithSelector(0, "BEGIN\r\n" + pattern)},
        {"short", WithSelector(0, "begin")},
    };
    // Records of every kind: position mode, tail block, size rules.
    const std::pair<int16_t, int16_t> modes[] = {{1, 1}, {0, 0}, {0, 1}, {2, 5}};
    for (const auto& m : modes) {
        MailSignatureRecord rec{};
        strcpy(rec.name, "W32/Test.Worm");
        rec.size = 3000;
        rec.offset = 300;
        rec.length = 100;
        rec.block = m.second;
        memcpy(rec.pattern, kMailPattern, 100);
        rec.mode = m.first;
        rec.sizeRule = int16_t(m.first == 0 ? 16 : 17);
        Bytes b{1};
        const auto* p = reinterpret_cast<const uint8_t*>(&rec);
        b.insert(b.end(), p, p + sizeof rec);
        const std::string file = MailFileWith(3000, 310, pattern);
        b.insert(b.end(), file.begin(), file.end());
        seeds.push_back({"record-mode" + std::to_string(m.first) + "-block" + std::to_string(m.second), b});
    }
    return seeds;
}

std::vector<Seed> WininitSeeds()
{
    const std::string head = std::string("NUL") + '\0' + "C:\\PROGRA~1\\SVC.EXE" + '\0';
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"rename-then-section", "[rename]\r\nNUL=C:\\OLD.EXE\r\n[other]\r\nx=1\r\n"},
        {"rename-last", "[boot]\r\na=b\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n"},
        {"no-rename", "[boot]\r\na=b\r\n"},
        {"capitals", "[RENAME]\r\n[Next]\r\n"},
        {"longer-header", "[renamed things]\r\n[x]\r\n"},
        {"blank-before-header", "  [rename]\r\n[x]\r\n"},
        {"no-line-end", "[boot]\r\na=b"},
        {"lf-only", "[rename]\nNUL=C:\\A\n[x]\n"},
        {"long-line", "[rename]\r\n" + std::string(700, 'a') + "[x]\r\n" + std::string(647, 'b') + "\n[y]\r\n"},
        {"nul-bytes", std::string("[rename]\r\n\0\0[x]\r\n", 18)},
    };
    std::vector<Seed> seeds;
    for (const auto& f : files) {
        seeds.push_back({std::string(f.first), WithSelector(0, head + f.second)});
        seeds.push_back({std::string(f.first) + "-failing", WithSelector(5, head + f.second)});
    }
    return seeds;
}

std::vector<Seed> PerfSeeds()
{
    using namespace scx::test;
    auto block = [](const std::vector<PerfTestInstance>& inst) {
        Bytes b{0};
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(kTestIdProcessIndex >> (8 * i)));
        PerfBlock pb = BuildPerfBlock(inst);
        b.insert(b.end(), pb.bytes.begin(), pb.bytes.end());
        return b;
    };
    std::vector<PerfTestInstance> many;
    for (int i = 0; i < 40; ++i)
        many.push_back({U16("proc" + std::to_string(i)), uint32_t(100 + i)});
    Bytes titles{1};
    Bytes list = StandardCounterTitles();
    titles.insert(titles.end(), list.begin(), list.end());
    return {
        {"idle-and-two", block({{U16("Idle"), 0}, {U16("svc"), 40}, {U16("svc#1"), 44}})},
        {"long-names", block({{U16("averyveryverylongprocessname"), 8}, {u"\u00e9t\u00e9", 9}})},
        {"forty", block(many)},
        {"no-instances", block({})},
        {"titles", titles},
        {"target", WithSelector(1, std::string("C:\\WINDOWS\\SVC.EXE") + '\0' + "svc#12")},
        {"target-short", WithSelector(1, std::string("ABCDEFG") + '\0' + "ABC")},
    };
}

std::vector<Seed> RunValueSeeds()
{
    auto v = [](const std::string& data, const std::string& expanded, const std::string& path) {
        return FromText(data + '\0' + expanded + '\0' + path);
    };
    return {
        {"path-args", v("C:\\WINDOWS\\SVC.EXE /s", "C:\\WINDOWS\\SVC.EXE /s", "c:\\windows\\svc.exe")},
        {"quoted", v("\"c:\\windows\\svc.exe\" -x", "\"c:\\windows\\svc.exe\" -x", "c:\\windows\\svc.exe")},
        {"expanded", v("%windir%\\svc.exe", "c:\\windows\\svc.exe", "c:\\windows\\svc.exe")},
        {"longer", v("c:\\windows\\svc.exe.bak", "c:\\windows\\svc.exe.bak", "c:\\windows\\svc.exe")},
        {"bare-system32", v("mysvc.exe -x", "mysvc.exe -x", "c:\\windows\\system32\\svc.exe")},
        {"bare-temp", v("svc.exe", "svc.exe", "c:\\temp\\svc.exe")},
        {"leading-backslash", v("\\svc.exe", "\\svc.exe", "c:\\windows\\system\\svc.exe")},
        {"other", v("c:\\program files\\tool\\tool.exe", "c:\\program files\\tool\\tool.exe", "c:\\windows\\svc.exe")},
        {"no-backslash-path", v("svc.exe", "svc.exe", "svc.exe")},
    };
}

} // namespace

std::vector<Seed> SeedsFor(const std::string& target)
{
    if (target == "fuzz_pe")
        return PeSeeds();
    if (target == "fuzz_mail")
        return MailSeeds();
    if (target == "fuzz_wininit")
        return WininitSeeds();
    if (target == "fuzz_perf")
        return PerfSeeds();
    if (target == "fuzz_run_value")
        return RunValueSeeds();
    return {};
}

} // namespace scx::fuzz
