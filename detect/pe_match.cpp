#include "detect/pe_match.h"

#include "detect/detection.h"

#include <cstring>
#include <fcntl.h>
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

unsigned SectionCount() { return Le16(PeHeaders.fileHeader + 2); }

bool PatternAt(int fd, int32_t distance, const unsigned char* pattern)
{
    uint32_t rva = PeHeaders.entryPoint + uint32_t(distance); // wraps by design
    unsigned char window[kPatternLength];
    if (!ReadAt(fd, RvaToFileOffset(rva, fd), window, sizeof window))
        return false;
    return memcmp(window, pattern, kPatternLength) == 0;
}

} // namespace

int ReadPeHeaders(int fd)
{
    // Step one: the PE signature and the file header.
    unsigned char pointer[2];
    if (!ReadAt(fd, kPeHeaderPointerAt, pointer, sizeof pointer))
        return 0;
    PeHeaders.peHeaderOffset = uint16_t(Le16(pointer));
    const uint32_t at = PeHeaders.peHeaderOffset;

    unsigned char signature[4];
    if (!ReadAt(fd, at, signature, sizeof signature) || Le32(signature) != kPeSignature)
        return 0;
    if (!ReadAt(fd, at + 4, PeHeaders.fileHeader, sizeof PeHeaders.fileHeader))
        return 0;

    // Step two: the optional header and the section table.
    if (!ReadAt(fd, at + 24, PeHeaders.optionalHeader, sizeof PeHeaders.optionalHeader))
        return 0;
    PeHeaders.entryPoint = Le32(PeHeaders.optionalHeader + 16);
    const unsigned sections = SectionCount();
    if (sections > unsigned(kMaxPeSections))
        return 0;
    memset(PeHeaders.sections, 0, sizeof PeHeaders.sections);
    if (!ReadAt(fd, at + kSectionTableAt, PeHeaders.sections, sections * kSectionHeaderSize))
        return 0;
    return 1;
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
    if (!ReadPeHeaders(fd))
        return -1;
    for (int i = 0; DetectionTable[i].name[0]; ++i) {
        const DetectionRecord& record = DetectionTable[i];
        if (!SizeRuleAccepts(record, length))
            continue;
        if (!PatternAt(fd, record.offset1, record.pattern1))
            continue;
        if (!PatternAt(fd, record.offset2, record.pattern2))
            continue;
        return i;
    }
    return -1;
}
