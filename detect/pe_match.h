// PE header reading and detection-record matching over an open file
// descriptor. Deliberately free of window, registry and process calls (and of
// <windows.h>) so that it can be built natively as well.
#pragma once
#include <cstdint>

constexpr int kMaxPeSections = 20;
constexpr int kSectionHeaderSize = 40;
constexpr int kOptionalHeaderBytesRead = 96;

// Header state of the file under check; overwritten for every file.
struct PeHeaderState {
    uint16_t peHeaderOffset;               // low 16 bits of the DOS header's pointer
    unsigned char fileHeader[20];          // IMAGE_FILE_HEADER
    unsigned char optionalHeader[kOptionalHeaderBytesRead];
    unsigned char sections[kMaxPeSections][kSectionHeaderSize];
    uint32_t fileLength;                   // set by the caller before matching
    uint32_t entryPoint;                   // AddressOfEntryPoint as read
};
extern PeHeaderState PeHeaders;

// 1 when the file header, the optional header and the section table were
// read, 0 otherwise (bad signature, too many sections, failed seek, short read).
int ReadPeHeaders(int fd);
// Turns an RVA into a file offset through the section table read last.
uint32_t RvaToFileOffset(uint32_t rva, int fd);

// True when some detection record's size rule accepts a file of this length.
// Lengths outside 0..INT32_MAX are never accepted.
bool AnyRecordAcceptsLength(int64_t length);

// Index of the first detection record that matches the open file of the
// given length, or -1. Reads the PE headers itself; 0 headers means -1.
int FindMatchingRecord(int fd, int32_t length);
