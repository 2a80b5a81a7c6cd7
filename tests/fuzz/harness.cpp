#include "tests/fuzz/harness.h"

#include "detect/detection.h"
#include "detect/mail_match.h"
#include "detect/pe_match.h"
#include "detect/perf_data.h"
#include "detect/run_value_match.h"
#include "detect/wininit_edit.h"
#include "tests/support/mail_samples.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                                  \
        }                                                                             \
    } while (0)

namespace scx::fuzz {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool ContainsNoCase(const std::string& text, const std::string& needle)
{
    if (needle.empty() || needle.size() > text.size())
        return false;
    for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < needle.size() && Lower(text[i + j]) == Lower(needle[j]))
            ++j;
        if (j == needle.size())
            return true;
    }
    return false;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && ContainsNoCase(text.substr(0, prefix.size()), prefix);
}

bool Contains(const uint8_t* data, size_t size, const void* needle, size_t length)
{
    return length <= size && memmem(data, size, needle, length) != nullptr;
}

// Splits at NUL bytes into at most n strings (the last takes the rest).
std::vector<std::string> SplitNul(const uint8_t* data, size_t size, size_t n)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i < size && parts.size() + 1 < n; ++i) {
        if (data[i] == 0) {
            parts.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
            start = i + 1;
        }
    }
    parts.emplace_back(reinterpret_cast<const char*>(data + start), size - start);
    return parts;
}

// The file under check lives in a memory file, reused for every input.
int MemoryFile(const uint8_t* data, size_t size)
{
    static int fd = memfd_create("scx-fuzz", 0);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, data, size, 0) == ssize_t(size));
    FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
    return fd;
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The matcher as it read before it read in pieces: a seek and a read for
// every header part and every pattern window. Both must agree on every input.
bool PatternAtBySeeking(int fd, int32_t distance, const unsigned char* pattern)
{
    const uint32_t offset = RvaToFileOffset(PeHeaders.entryPoint + uint32_t(distance), fd);
    unsigned char window[kPatternLength];
    if (offset > 0x7FFFFFFFu || lseek(fd, off_t(offset), SEEK_SET) == -1)
        return false;
    return read(fd, window, sizeof window) == ssize_t(sizeof window) &&
           memcmp(window, pattern, kPatternLength) == 0;
}

int MatchBySeeking(int fd, int32_t length)
{
    PeHeaders.fileLength = uint32_t(length);
    if (!ReadPeHeaders(fd))
        return -1;
    for (int i = 0; DetectionTable[i].name[0]; ++i) {
        const DetectionRecord& record = DetectionTable[i];
        if (SizeRuleAccepts(record, length) && PatternAtBySeeking(fd, record.offset1, record.pattern1) &&
            PatternAtBySeeking(fd, record.offset2, record.pattern2))
            return i;
    }
    return -1;
}

} // namespace

int FuzzPe(const uint8_t* data, size_t size)
{
    size_t fileSize = size;
    int32_t claimed = int32_t(size);
    if (size > 0) {
        fileSize = size - 1;
        claimed = int32_t(fileSize);
        const uint8_t pick = data[size - 1];
        // The file may change between measuring and reading: the length the
        // check believes need not be the length it reads.
        if (pick < kDetectionRecordCount)
            claimed = DetectionTable[pick].size;
    }
    const int fd = MemoryFile(data, fileSize);
    const int record = FindMatchingRecord(fd, claimed);
    FUZZ_CHECK(record >= -1 && record < kDetectionRecordCount);
    FUZZ_CHECK(record == MatchBySeeking(fd, claimed));
    if (record >= 0) {
        const DetectionRecord& r = DetectionTable[record];
        FUZZ_CHECK(SizeRuleAccepts(r, claimed));
        // No detection without both patterns in the file.
        FUZZ_CHECK(Contains(data, fileSize, r.pattern1, kPatternLength));
        FUZZ_CHECK(Contains(data, fileSize, r.pattern2, kPatternLength));
    }
    if (ReadPeHeaders(fd)) {
        FUZZ_CHECK(Le32(PeHeaders.fileHeader + 2) % 0x10000 <= unsigned(kMaxPeSections));
        // Any RVA, the extremes included, maps without reading anything.
        const uint32_t rvas[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu,
                                 fileSize >= 4 ? Le32(data) : 7u,
                                 fileSize >= 8 ? Le32(data + 4) : 0xFFFFFFF0u};
        for (uint32_t rva : rvas)
            (void)RvaToFileOffset(rva, fd);
    }
    return 0;
}

int FuzzMail(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool ownRecord = (data[0] & 1) != 0 && size >= 1 + sizeof(MailSignatureRecord);
    // On the heap at its exact size, so that a read past it is caught.
    auto record = std::make_unique<MailSignatureRecord>();
    const uint8_t* rest = data + 1;
    size_t restSize = size - 1;
    if (ownRecord) {
        memcpy(record.get(), rest, sizeof *record);
        rest += sizeof *record;
        restSize -= sizeof *record;
    } else {
        // The record in use, descrambled: search the head for 100 bytes.
        strcpy(record->name, "W32/Nyxem.Worm");
        record->size = 134042;
        record->offset = 1888;
        record->length = 100;
        record->block = 0;
        memcpy(record->pattern, test::kMailPattern, 100);
        record->mode = 1;
        record->unused1 = 4;
        record->sizeRule = 18;
    }
    std::vector<uint8_t> file(rest, rest + restSize); // exact size for the sanitizer
    const bool match = MatchMailContent(*record, file.data(), file.size());

    if (!ownRecord) {
        // The record in use matches exactly when the file starts with "begin"
        // and its first 4096 bytes, white space removed, hold the pattern.
        const size_t n = file.size() < kMailBlockSize ? file.size() : kMailBlockSize;
        std::vector<uint8_t> stripped;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t c = file[i];
            if (c != ' ' && !(c >= 0x09 && c <= 0x0D))
                stripped.push_back(c);
        }
        const bool begins = file.size() >= 5 && ContainsNoCase(std::string(file.begin(), file.begin() + 5), "begin");
        const bool expected = begins && Contains(stripped.data(), stripped.size(), test::kMailPattern, 100);
        FUZZ_CHECK(match == expected);
    }

    // Stripping into a small buffer never writes past it.
    const size_t room = file.empty() ? 1 : file[0] % 64 + 1;
    std::vector<uint8_t> small(room);
    FUZZ_CHECK(StripWhiteSpace(file.data(), file.size(), small.data(), small.size()) <= room);
    return 0;
}

namespace {

class StringOutput final : public WininitOutput {
public:
    explicit StringOutput(size_t budget) : budget_(budget) {}
    bool Write(const char* data, size_t length) override
    {
        if (budget_ && text.size() + length > budget_) {
            failed = true;
            return false;
        }
        text.append(data, length);
        return true;
    }
    std::string text;
    bool failed = false;

private:
    size_t budget_; // 0: unlimited
};

class FailingInput final : public WininitInput {
public:
    FailingInput(const std::string& text, size_t failAt) : text_(text), failAt_(failAt) {}
    int NextByte() override
    {
        if (pos_ == failAt_)
            return kError;
        return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_++]) : kEnd;
    }

private:
    const std::string& text_;
    size_t failAt_;
    size_t pos_ = 0;
};

} // namespace

int FuzzWininit(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::vector<std::string> parts = SplitNul(data + 1, size - 1, 3);
    if (parts.size() < 3)
        return 0;
    const std::string& destination = parts[0];
    const std::string& source = parts[1];
    const std::string& old = parts[2];
    const std::string entry = destination + "=" + source + "\r\n";

    // Pieces never exceed what one fgets with a count of 648 reads.
    {
        MemoryWininitInput in(old.data(), old.size());
        auto piece = std::make_unique<char[]>(kWininitPieceChars + 1);
        size_t total = 0;
        for (long n; (n = ReadWininitPiece(in, piece.get())) > 0;) {
            FUZZ_CHECK(size_t(n) <= kWininitPieceChars);
            FUZZ_CHECK(memcmp(piece.get(), old.data() + total, size_t(n)) == 0);
            total += size_t(n);
        }
        FUZZ_CHECK(total == old.size());
    }

    {
        MemoryWininitInput in(old.data(), old.size());
        StringOutput out(0);
        FUZZ_CHECK(RewriteWininit(in, out, destination.c_str(), source.c_str()));
        const std::string& now = out.text;
        // The old bytes, unchanged and in order, with one insertion: the
        // entry, behind a line end and/or a new header where needed.
        FUZZ_CHECK(now.size() > old.size());
        const size_t added = now.size() - old.size();
        size_t prefix = 0;
        while (prefix < old.size() && now[prefix] == old[prefix])
            ++prefix;
        bool found = false;
        for (size_t k = prefix + 1; k-- > 0 && !found;) {
            if (now.compare(k + added, std::string::npos, old, k, std::string::npos) != 0)
                continue;
            const std::string inserted = now.substr(k, added);
            const bool atEnd = k == old.size();
            const bool lineStart = k == 0 || now[k - 1] == '\n';
            if (inserted == entry && lineStart)
                found = true;
            else if (atEnd && lineStart && inserted == "[rename]\r\n" + entry)
                found = true;
            else if (atEnd && !lineStart && (inserted == "\r\n" + entry || inserted == "\r\n[rename]\r\n" + entry))
                found = true;
        }
        FUZZ_CHECK(found);
    }

    // A failing write or read is reported, never taken for success.
    if (data[0] != 0) {
        MemoryWininitInput in(old.data(), old.size());
        StringOutput out(data[0] * 7u + 1);
        const bool ok = RewriteWininit(in, out, destination.c_str(), source.c_str());
        FUZZ_CHECK(ok == !out.failed);
        FailingInput bad(old, data[0] % (old.size() + 1));
        StringOutput sink(0);
        FUZZ_CHECK(!RewriteWininit(bad, sink, destination.c_str(), source.c_str()));
    }
    StringOutput fresh(0);
    FUZZ_CHECK(WriteNewWininit(fresh, destination.c_str(), source.c_str()));
    FUZZ_CHECK(fresh.text == "[rename]\r\n" + entry);
    return 0;
}

namespace {

// A converter that always fills the buffer to its last byte.
int FillingConverter(const uint16_t*, size_t, char* out, size_t outSize)
{
    memset(out, 'n', outSize - 1);
    out[outSize - 1] = '\0';
    return int(outSize - 1);
}

void CheckTable(const PerfProcessEntry* table, int filled)
{
    FUZZ_CHECK(filled >= 0 && filled <= kPerfMaxEntries);
    for (int i = 0; i < kPerfTableSize; ++i) {
        FUZZ_CHECK(memchr(table[i].name, 0, sizeof table[i].name) != nullptr);
        if (i >= filled)
            FUZZ_CHECK(table[i].processId == 0 && table[i].name[0] == 0);
        else
            FUZZ_CHECK(table[i].processId != 0);
    }
}

} // namespace

int FuzzPerf(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    std::vector<uint8_t> body(data + 1, data + size); // exact size for the sanitizer
    if (data[0] & 1) {
        PerfCounterTitles titles;
        const bool ok = ParseCounterTitles(body.data(), body.size(), &titles);
        FUZZ_CHECK(memchr(titles.processIndex, 0, sizeof titles.processIndex) != nullptr);
        if (ok) {
            FUZZ_CHECK(titles.processIndex[0] != 0);
            for (const char* p = titles.processIndex; *p; ++p)
                FUZZ_CHECK(*p >= '0' && *p <= '9');
        }
        // The text forms of the target and instance names.
        const std::vector<std::string> parts = SplitNul(body.data(), body.size(), 3);
        if (parts.size() >= 2) {
            char target[17];
            memset(target, 0x5A, sizeof target);
            if (PerfTargetFromPath(parts[0].c_str(), target, sizeof target)) {
                FUZZ_CHECK(strlen(target) < sizeof target && target[0] != 0);
                FUZZ_CHECK(PerfInstanceNameMatches(target, target));
            }
            (void)PerfInstanceNameMatches(parts[1].c_str(), parts[0].c_str());
        }
        return 0;
    }
    if (body.size() < 4)
        return 0;
    const uint32_t idIndex = Le32(body.data());
    std::vector<uint8_t> block(body.begin() + 4, body.end());
    auto table = std::make_unique<PerfProcessEntry[]>(kPerfTableSize);
    int filled = ParsePerfProcessTable(block.data(), block.size(), idIndex, PerfAsciiNameConverter, table.get());
    CheckTable(table.get(), filled);
    const int again = ParsePerfProcessTable(block.data(), block.size(), idIndex, FillingConverter, table.get());
    CheckTable(table.get(), again);
    FUZZ_CHECK(again == filled);
    return 0;
}

int FuzzRunValue(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = SplitNul(data, size, 3);
    const std::string& value = parts[0];
    const std::string* expanded = parts.size() > 1 ? &parts[1] : nullptr;
    // The path is a C string: what follows a NUL in the input is not part of it.
    const std::string path = parts.size() > 2 ? std::string(parts[2].c_str()) : std::string("c:\\windows\\svc.exe");

    const RunValueVerdict verdict = DecideRunValue(value.c_str(), expanded ? expanded->c_str() : nullptr, path.c_str());
    const char* name = RunValueFileName(path.c_str());
    if (verdict == RunValueVerdict::Keep)
        return 0;
    // Nothing is deleted unless it names the file under check.
    FUZZ_CHECK(name && *name);
    const std::string fileName(name);
    switch (verdict) {
    case RunValueVerdict::NameCaseDelete:
        FUZZ_CHECK(ContainsNoCase(path, "\\system\\") || ContainsNoCase(path, "\\system32\\"));
        [[fallthrough]];
    case RunValueVerdict::NameCaseKeep:
        FUZZ_CHECK(ContainsNoCase(value, fileName));
        FUZZ_CHECK(value.find('\\') == std::string::npos || value[0] == '\\');
        break;
    case RunValueVerdict::PathCaseDelete: {
        auto start = [](const std::string& s) { return !s.empty() && s[0] == '"' ? s.substr(1) : s; };
        FUZZ_CHECK(StartsWithNoCase(start(value), path) || (expanded && StartsWithNoCase(start(*expanded), path)));
        break;
    }
    default:
        FUZZ_CHECK(false);
    }
    return 0;
}

} // namespace scx::fuzz
