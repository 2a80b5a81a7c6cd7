#include "tests/support/sample_bytes.h"

#include "detect/detection.h"

#include <algorithm>
#include <cstring>

namespace scx::test {

namespace {

constexpr uint32_t kPeOffset = 0x40;
constexpr uint32_t kImportStart = kSampleSectionStart; // import data: 0x200..0x280
constexpr uint32_t kFirstFree = 0x280;
constexpr uint32_t kDllNameRva = 0x260;
constexpr uint32_t kHintNameRva = 0x270;
// The lookup and address tables hold one entry and a terminator each: 8 bytes
// per table in a PE32 image, 16 in a PE32+ one.
constexpr uint32_t kIltRva32 = 0x240;
constexpr uint32_t kIatRva32 = 0x248;
constexpr uint32_t kIltRva64 = 0x230;
constexpr uint32_t kIatRva64 = 0x240;

void Put16(std::vector<uint8_t>& b, uint32_t at, uint16_t v) { memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, uint32_t at, uint32_t v) { memcpy(&b[at], &v, 4); }
void Put64(std::vector<uint8_t>& b, uint32_t at, uint64_t v) { memcpy(&b[at], &v, 8); }

// The entry point sleeps forever in a loop, so a started sample stays alive.
void PutEntryCode32(std::vector<uint8_t>& b, uint32_t entry)
{
    // push -1; call [Sleep]; jmp back to the push
    const uint8_t code[] = {0x6A, 0xFF, 0xFF, 0x15, 0, 0, 0, 0, 0xEB, 0xF6};
    memcpy(&b[entry], code, sizeof code);
    Put32(b, entry + 4, kSampleImageBase + kIatRva32);
}

void PutEntryCode64(std::vector<uint8_t>& b, uint32_t entry)
{
    // sub rsp,40 (shadow space, aligned stack); mov ecx,-1; call [rip+Sleep];
    // jmp back to the mov
    const uint8_t code[] = {0x48, 0x83, 0xEC, 0x28,       //
                            0xB9, 0xFF, 0xFF, 0xFF, 0xFF, //
                            0xFF, 0x15, 0,    0,    0,    0, //
                            0xEB, 0xF3};
    memcpy(&b[entry], code, sizeof code);
    Put32(b, entry + 11, kIatRva64 - (entry + 15)); // relative to the next instruction
}

// A PE image whose one section starts at 0x200 in the file and in memory
// (section and file alignment 0x200), so file offsets equal RVAs.
//
// The detection check reads the section table at PE offset + 248, as if every
// optional header were the 224-byte PE32 one. A PE32+ optional header with 14
// data directories (112 + 14 * 8 bytes) is exactly 224 bytes too, so the
// 64-bit image's real section table lies where the check reads it.
std::vector<uint8_t> BuildProgram(uint32_t length, uint32_t entry, SampleMachine machine)
{
    const bool wide = machine == SampleMachine::Amd64;
    std::vector<uint8_t> b(length, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeOffset);
    memcpy(&b[kPeOffset], "PE\0\0", 4);

    const uint32_t fh = kPeOffset + 4;
    Put16(b, fh + 0, wide ? 0x8664 : 0x014C);
    Put16(b, fh + 2, 1);       // one section
    Put16(b, fh + 16, 224);    // optional header size
    // relocs stripped, executable; then 32-bit machine or large-address aware
    Put16(b, fh + 18, wide ? 0x0023 : 0x0103);

    const uint32_t body = length - kSampleSectionStart;
    const uint32_t raw = body / 0x200 * 0x200;          // whole file-alignment units
    const uint32_t virt = (body + 0x1FF) / 0x200 * 0x200;

    // Offsets past the image base differ by the wider fields of PE32+.
    const uint32_t oh = fh + 20;
    const uint32_t sizes = oh + 72;                     // stack and heap sizes
    const uint32_t dirs = wide ? oh + 112 : oh + 96;    // data directories
    Put16(b, oh + 0, wide ? 0x020B : 0x010B);
    Put32(b, oh + 4, raw);               // SizeOfCode
    Put32(b, oh + 16, entry);            // AddressOfEntryPoint
    Put32(b, oh + 20, kSampleSectionStart);
    if (wide) {
        Put64(b, oh + 24, kSampleImageBase);
    } else {
        Put32(b, oh + 24, kSampleSectionStart); // BaseOfData
        Put32(b, oh + 28, kSampleImageBase);
    }
    Put32(b, oh + 32, 0x200);            // SectionAlignment
    Put32(b, oh + 36, 0x200);            // FileAlignment
    Put16(b, oh + 40, wide ? 5 : 4);     // OS version 4.0, or 5.2 for x64
    Put16(b, oh + 42, wide ? 2 : 0);
    Put16(b, oh + 48, wide ? 5 : 4);     // subsystem version likewise
    Put16(b, oh + 50, wide ? 2 : 0);
    Put32(b, oh + 56, kSampleSectionStart + virt); // SizeOfImage
    Put32(b, oh + 60, kSampleSectionStart);        // SizeOfHeaders
    Put16(b, oh + 68, 2);                // GUI: no console window
    if (wide) {
        Put64(b, sizes + 0, 0x100000);
        Put64(b, sizes + 8, 0x1000);
        Put64(b, sizes + 16, 0x100000);
        Put64(b, sizes + 24, 0x1000);
        Put32(b, oh + 108, 14);          // NumberOfRvaAndSizes: 224 bytes in all
    } else {
        Put32(b, sizes + 0, 0x100000);
        Put32(b, sizes + 4, 0x1000);
        Put32(b, sizes + 8, 0x100000);
        Put32(b, sizes + 12, 0x1000);
        Put32(b, oh + 92, 16);           // NumberOfRvaAndSizes
    }
    const uint32_t ilt = wide ? kIltRva64 : kIltRva32;
    const uint32_t iat = wide ? kIatRva64 : kIatRva32;
    Put32(b, dirs + 8, kImportStart);    // import directory
    Put32(b, dirs + 12, 40);
    Put32(b, dirs + 96, iat);            // import address table
    Put32(b, dirs + 100, wide ? 16 : 8);

    const uint32_t sh = oh + 224;
    memcpy(&b[sh], ".text", 5);
    Put32(b, sh + 8, virt);
    Put32(b, sh + 12, kSampleSectionStart);
    Put32(b, sh + 16, raw);
    Put32(b, sh + 20, kSampleSectionStart);
    Put32(b, sh + 36, 0xE0000060);       // code, data, execute, read, write

    Put32(b, kImportStart + 0, ilt);
    Put32(b, kImportStart + 12, kDllNameRva);
    Put32(b, kImportStart + 16, iat);
    Put32(b, ilt, kHintNameRva);         // upper half of a PE32+ entry stays 0: by name
    Put32(b, iat, kHintNameRva);
    memcpy(&b[kDllNameRva], "KERNEL32.dll", 13);
    memcpy(&b[kHintNameRva + 2], "Sleep", 6);

    if (wide)
        PutEntryCode64(b, entry);
    else
        PutEntryCode32(b, entry);
    return b;
}

} // namespace

uint32_t SampleEntryPoint(int record)
{
    const DetectionRecord& r = DetectionTable[record];
    int32_t lowest = std::min({r.offset1, r.offset2, 0});
    return kFirstFree + uint32_t(-lowest);
}

std::vector<uint8_t> BuildSample(int record, SampleKind kind, SampleMachine machine)
{
    const DetectionRecord& r = DetectionTable[record];
    const uint32_t entry = SampleEntryPoint(record);
    std::vector<uint8_t> b = BuildProgram(uint32_t(r.size), entry, machine);

    const uint32_t shift = kind == SampleKind::WrongDistance ? 1 : 0;
    memcpy(&b[entry + r.offset1 + shift], r.pattern1, kPatternLength);
    memcpy(&b[entry + r.offset2 + shift], r.pattern2, kPatternLength);

    switch (kind) {
    case SampleKind::Exact:
    case SampleKind::WrongDistance:
        break;
    case SampleKind::LongerByOne:
        b.push_back(0);
        break;
    case SampleKind::ShorterByOne:
        b.pop_back();
        break;
    case SampleKind::PatternByteChanged:
        b[entry + r.offset1] ^= 0xFF;
        break;
    case SampleKind::NoPeSignature:
        b[kPeOffset + 1] = 'X';
        break;
    case SampleKind::TwentyOneSections:
        Put16(b, kPeOffset + 4 + 2, 21);
        break;
    }
    return b;
}

std::vector<uint8_t> BuildCleanProgram(uint32_t length, SampleMachine machine)
{
    return BuildProgram(std::max<uint32_t>(length, 0x400), kFirstFree, machine);
}

} // namespace scx::test
