// The bytes of the harmless fixture samples, free of <windows.h> so that the
// native rescue scanner's tests plant the same samples as the Windows tests.
#pragma once
#include <cstdint>
#include <vector>

namespace scx::test {

enum class SampleKind {
    Exact,              // detected by its record
    LongerByOne,        // one byte appended
    ShorterByOne,       // last byte cut
    PatternByteChanged, // first byte of pattern 1 flipped
    NoPeSignature,      // "PE\0\0" spoiled
    TwentyOneSections,  // NumberOfSections 21
    WrongDistance,      // both patterns one byte further from the entry point
};

enum class SampleMachine {
    I386,  // PE32
    Amd64, // PE32+ with a 224-byte optional header
};

#if defined(_WIN64)
constexpr SampleMachine kNativeSampleMachine = SampleMachine::Amd64;
#else
constexpr SampleMachine kNativeSampleMachine = SampleMachine::I386;
#endif

// Layout facts of the samples, for tests that check the writer itself.
constexpr uint32_t kSampleSectionStart = 0x200; // file offset == RVA from here
constexpr uint32_t kSampleImageBase = 0x400000;

// Where the entry point of record's sample lies (file offset == RVA).
uint32_t SampleEntryPoint(int record);

std::vector<uint8_t> BuildSample(int record, SampleKind kind = SampleKind::Exact,
                                 SampleMachine machine = kNativeSampleMachine);
// A runnable clean program of the given length (no record's patterns).
std::vector<uint8_t> BuildCleanProgram(uint32_t length = 8192,
                                       SampleMachine machine = kNativeSampleMachine);

} // namespace scx::test
