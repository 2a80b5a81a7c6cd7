#include "detect/pe_match.h"

#include "detect/detection.h"

#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <stdio.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#define _lseek lseek
#define _read read
#endif

PeHeaderState PeHeaders;

namespace {

constexpr uint32_t kPeSignature = 0x4550; // "PE\0\0"
constexpr long kPeHeaderPointerAt = 0x3C;
// The section table is assumed to follow a 224-byte optional header.
constexpr uint32_t kSectionTableAt = 248;

uint32_t Le16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Seeks to an absolute position; positions the runtime cannot represent fail.
bool SeekTo(int fd, uint32_t position)
{
    if (position > 0x7FFFFFFFu)
        return false;
    return _lseek(fd, long(position), SEEK_SET) != -1L;
}

bool ReadExactly(int fd, void* buffer, unsigned count)
{
    if (count == 0)
        return true;
    return _read(fd, buffer, count) == int(count);
}

bool ReadAt(int fd, uint32_t position, void* buffer, unsigned count)
{
    return SeekTo(fd, position) && ReadExactly(fd, buffer, count);
}

// A file whose length some record accepts is read in as few pieces as its
// layout allows: its head (the whole file when it is small), which holds the
// headers, then one span holding the pattern windows of every record that
// accepts the length. The checks are served from those; whatever lies
// outside them is read as it always was, so the bytes a check sees, and
// whether it sees them at all, are the same either way.
constexpr uint32_t kHeadBytes = 4096;
constexpr uint32_t kWholeFileUpTo = 64 * 1024;
constexpr uint32_t kSpanBytes = 64 * 1024;

struct ReadPiece {
    uint32_t start;
    uint32_t got; // bytes the file held from start on, at most as many as asked for
    unsigned char* data;
};

unsigned char g_headData[kWholeFileUpTo];
unsigned char g_spanData[kSpanBytes];
ReadPiece g_head = {0, 0, g_headData};
ReadPiece g_span = {0, 0, g_spanData};

void Fill(int fd, ReadPiece& piece, uint32_t position, uint32_t count)
{
    piece.start = position;
    piece.got = 0;
    if (!SeekTo(fd, position))
        return;
    const int n = _read(fd, piece.data, count);
    if (n > 0)
        piece.got = uint32_t(n);
}

// Positions a seek refuses are refused here too.
bool Holds(const ReadPiece& piece, uint32_t position, unsigned count)
{
    return position <= 0x7FFFFFFFu && position >= piece.start &&
           uint64_t(position) + count <= uint64_t(piece.start) + piece.got;
}

// The reads of one check: served from the pieces when `pieces` is set.
struct Reader {
    int fd;
    bool pieces;
    bool At(uint32_t position, void* buffer, unsigned count) const
    {
        if (pieces && count > 0) {
            for (const ReadPiece* piece : {&g_head, &g_span}) {
                if (Holds(*piece, position, count)) {
                    memcpy(buffer, piece->data + (position - piece->start), count);
                    return true;
                }
            }
        }
        return ReadAt(fd, position, buffer, count);
    }
};

unsigned SectionCount() { return Le16(PeHeaders.fileHeader + 2); }

uint32_t PatternOffset(int32_t distance, int fd)
{
    return RvaToFileOffset(PeHeaders.entryPoint + uint32_t(distance), fd); // wraps by design
}

bool PatternAt(const Reader& reader, int32_t distance, const unsigned char* pattern)
{
    unsigned char window[kPatternLength];
    if (!reader.At(PatternOffset(distance, reader.fd), window, sizeof window))
        return false;
    return memcmp(window, pattern, kPatternLength) == 0;
}

int ReadHeaders(const Reader& reader)
{
    // Step one: the PE signature and the file header.
    unsigned char pointer[2];
    if (!reader.At(kPeHeaderPointerAt, pointer, sizeof pointer))
        return 0;
    PeHeaders.peHeaderOffset = uint16_t(Le16(pointer));
    const uint32_t at = PeHeaders.peHeaderOffset;

    unsigned char signature[4];
    if (!reader.At(at, signature, sizeof signature) || Le32(signature) != kPeSignature)
        return 0;
    if (!reader.At(at + 4, PeHeaders.fileHeader, sizeof PeHeaders.fileHeader))
        return 0;

    // Step two: the optional header and the section table.
    if (!reader.At(at + 24, PeHeaders.optionalHeader, sizeof PeHeaders.optionalHeader))
        return 0;
    PeHeaders.entryPoint = Le32(PeHeaders.optionalHeader + 16);
    const unsigned sections = SectionCount();
    if (sections > unsigned(kMaxPeSections))
        return 0;
    memset(PeHeaders.sections, 0, sizeof PeHeaders.sections);
    if (!reader.At(at + kSectionTableAt, PeHeaders.sections, sections * kSectionHeaderSize))
        return 0;
    return 1;
}

// One span over the windows the head does not hold, when they lie close
// enough together; windows far apart are read one by one.
void ReadPatternSpan(int fd, int32_t length)
{
    uint64_t low = UINT64_MAX, high = 0;
    for (int i = 0; DetectionTable[i].name[0]; ++i) {
        const DetectionRecord& record = DetectionTable[i];
        if (!SizeRuleAccepts(record, length))
            continue;
        for (int32_t distance : {record.offset1, record.offset2}) {
            const uint64_t offset = PatternOffset(distance, fd);
            if (Holds(g_head, uint32_t(offset), kPatternLength))
                continue;
            if (offset < low)
                low = offset;
            if (offset + kPatternLength > high)
                high = offset + kPatternLength;
        }
    }
    if (high > low && high - low <= kSpanBytes)
        Fill(fd, g_span, uint32_t(low), uint32_t(high - low));
}

} // namespace

int ReadPeHeaders(int fd)
{
    return ReadHeaders(Reader{fd, false});
}

uint32_t RvaToFileOffset(uint32_t rva, int /*fd*/)
{
    static const unsigned char kNoSection[kSectionHeaderSize] = {};
    unsigned sections = SectionCount();
    if (sections > unsigned(kMaxPeSections))
        sections = kMaxPeSections;

    const unsigned char* section = sections ? PeHeaders.sections[sections - 1] : kNoSection;
    for (unsigned i = 0; i < sections; ++i) {
        const unsigned char* s = PeHeaders.sections[i];
        if (uint32_t(Le32(s + 12) + Le32(s + 8)) > rva) { // VirtualAddress + VirtualSize
            section = s;
            break;
        }
    }
    uint32_t offset = rva + Le32(section + 20) - Le32(section + 12); // + PointerToRawData - VirtualAddress
    if (offset >= PeHeaders.fileLength)
        offset = rva;
    if (offset == 0)
        return Le32(PeHeaders.optionalHeader + 60); // SizeOfHeaders
    return offset;
}

bool AnyRecordAcceptsLength(int64_t length)
{
    if (length < 0 || length > 0x7FFFFFFF)
        return false;
    for (int i = 0; DetectionTable[i].name[0]; ++i)
        if (SizeRuleAccepts(DetectionTable[i], int32_t(length)))
            return true;
    return false;
}

int FindMatchingRecord(int fd, int32_t length)
{
    PeHeaders.fileLength = uint32_t(length);
    g_span.got = 0;
    const uint32_t head = length > int32_t(kHeadBytes) && uint32_t(length) <= kWholeFileUpTo ? uint32_t(length)
                                                                                              : kHeadBytes;
    Fill(fd, g_head, 0, head);
    const Reader reader{fd, true};
    if (!ReadHeaders(reader))
        return -1;
    ReadPatternSpan(fd, length);
    for (int i = 0; DetectionTable[i].name[0]; ++i) {
        const DetectionRecord& record = DetectionTable[i];
        if (!SizeRuleAccepts(record, length))
            continue;
        if (!PatternAt(reader, record.offset1, record.pattern1))
            continue;
        if (!PatternAt(reader, record.offset2, record.pattern2))
            continue;
        return i;
    }
    return -1;
}
