// Matching of the mail-attachment content signature over memory buffers.
// Kept free of <windows.h> so that it builds and can be fuzzed natively;
// file access and the action on a match live in mail_scan.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct MailSignatureRecord {
    char name[25];          // reported for a match
    int32_t size;           // file length for the size rule
    int16_t offset;         // pattern position in position mode
    uint16_t length;        // pattern bytes in use; 0 disables the record
    int16_t block;          // 0 the file's head, 1 its tail
    uint8_t pattern[100];   // stored scrambled (XOR 0x6B) until descrambled
    int16_t mode;           // 1 search the block, other: compare at offset
    int16_t unused1;
    int16_t sizeRule;       // 16 exact, 17 within 4096 either way, other: none
    int16_t unused2;
    uint8_t reserved[27];
};
#pragma pack(pop)

static_assert(sizeof(MailSignatureRecord) == 170, "record is 170 bytes");
static_assert(offsetof(MailSignatureRecord, size) == 25, "size at 25");
static_assert(offsetof(MailSignatureRecord, offset) == 29, "offset at 29");
static_assert(offsetof(MailSignatureRecord, length) == 31, "length at 31");
static_assert(offsetof(MailSignatureRecord, block) == 33, "block at 33");
static_assert(offsetof(MailSignatureRecord, pattern) == 35, "pattern at 35");
static_assert(offsetof(MailSignatureRecord, mode) == 135, "mode at 135");
static_assert(offsetof(MailSignatureRecord, unused1) == 137, "field at 137");
static_assert(offsetof(MailSignatureRecord, sizeRule) == 139, "sizeRule at 139");
static_assert(offsetof(MailSignatureRecord, unused2) == 141, "field at 141");
static_assert(offsetof(MailSignatureRecord, reserved) == 143, "zeros at 143");

// Only the first and last this many bytes of a file are looked at.
constexpr size_t kMailBlockSize = 4096;
constexpr uint8_t kMailScrambleKey = 0x6B;

// True when the first five bytes are "begin" in any letter case.
bool HasBeginWord(const uint8_t* bytes, size_t count);

// Copies every byte except space, tab, LF, VT, FF and CR, in order, into
// dest (never more than destSize bytes); returns how many were kept.
size_t StripWhiteSpace(const uint8_t* src, size_t count, uint8_t* dest, size_t destSize);

// Applies the record to what was read of a file: rawHead holds its first
// blockSize bytes, rawTail its last blockSize bytes (null when the file is
// no longer than one block; the head then serves as the tail too).
// blockSize is min(file length, 4096). The record's pattern must be plain.
bool MatchMailBlocks(const MailSignatureRecord& record, const uint8_t* rawHead,
                     const uint8_t* rawTail, size_t blockSize, int32_t fileLength);

// The whole match over a file held in memory ("begin" test included); the
// same steps the file scan takes, for tests and fuzzing.
bool MatchMailContent(const MailSignatureRecord& record, const uint8_t* file, size_t fileLength);
