#include "tests/support/samples.h"

#include "engine/detection.h"
#include "tests/support/scratch.h"

#include <algorithm>
#include <cstring>

namespace scx::test {

namespace {

constexpr uint32_t kPeOffset = 0x40;
constexpr uint32_t kImportStart = kSampleSectionStart; // import data: 0x200..0x280
constexpr uint32_t kFirstFree = 0x280;
constexpr uint32_t kIltRva = 0x240;
constexpr uint32_t kIatRva = 0x248;
constexpr uint32_t kDllNameRva = 0x260;
constexpr uint32_t kHintNameRva = 0x270;
constexpr uint32_t kEntryCodeLength = 10;

void Put16(std::vector<uint8_t>& b, uint32_t at, uint16_t v) { memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, uint32_t at, uint32_t v) { memcpy(&b[at], &v, 4); }

// A PE32 image whose one section starts at 0x200 in the file and in memory
// (section and file alignment 0x200), so file offsets equal RVAs. Its entry
// point runs: push -1; call [Sleep]; jmp back.
std::vector<uint8_t> BuildProgram(uint32_t length, uint32_t entry)
{
    std::vector<uint8_t> b(length, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeOffset);
    memcpy(&b[kPeOffset], "PE\0\0", 4);

    const uint32_t fh = kPeOffset + 4;
    Put16(b, fh + 0, 0x014C);  // i386
    Put16(b, fh + 2, 1);       // one section
    Put16(b, fh + 16, 224);    // optional header size
    Put16(b, fh + 18, 0x0103); // relocs stripped, executable, 32-bit

    const uint32_t body = length - kSampleSectionStart;
    const uint32_t raw = body / 0x200 * 0x200;          // whole file-alignment units
    const uint32_t virt = (body + 0x1FF) / 0x200 * 0x200;

    const uint32_t oh = fh + 20;
    Put16(b, oh + 0, 0x010B);
    Put32(b, oh + 4, raw);               // SizeOfCode
    Put32(b, oh + 16, entry);            // AddressOfEntryPoint
    Put32(b, oh + 20, kSampleSectionStart);
    Put32(b, oh + 24, kSampleSectionStart);
    Put32(b, oh + 28, kSampleImageBase);
    Put32(b, oh + 32, 0x200);            // SectionAlignment
    Put32(b, oh + 36, 0x200);            // FileAlignment
    Put16(b, oh + 40, 4);                // OS 4.0
    Put16(b, oh + 48, 4);                // subsystem 4.0
    Put32(b, oh + 56, kSampleSectionStart + virt); // SizeOfImage
    Put32(b, oh + 60, kSampleSectionStart);        // SizeOfHeaders
    Put16(b, oh + 68, 2);                // GUI: no console window
    Put32(b, oh + 72, 0x100000);
    Put32(b, oh + 76, 0x1000);
    Put32(b, oh + 80, 0x100000);
    Put32(b, oh + 84, 0x1000);
    Put32(b, oh + 92, 16);               // NumberOfRvaAndSizes
    Put32(b, oh + 96 + 8, kImportStart); // import directory
    Put32(b, oh + 96 + 12, 40);
    Put32(b, oh + 96 + 96, kIatRva);     // import address table
    Put32(b, oh + 96 + 100, 8);

    const uint32_t sh = oh + 224;
    memcpy(&b[sh], ".text", 5);
    Put32(b, sh + 8, virt);
    Put32(b, sh + 12, kSampleSectionStart);
    Put32(b, sh + 16, raw);
    Put32(b, sh + 20, kSampleSectionStart);
    Put32(b, sh + 36, 0xE0000060);       // code, data, execute, read, write

    Put32(b, kImportStart + 0, kIltRva);
    Put32(b, kImportStart + 12, kDllNameRva);
    Put32(b, kImportStart + 16, kIatRva);
    Put32(b, kIltRva, kHintNameRva);
    Put32(b, kIatRva, kHintNameRva);
    memcpy(&b[kDllNameRva], "KERNEL32.dll", 13);
    memcpy(&b[kHintNameRva + 2], "Sleep", 6);

    const uint8_t code[kEntryCodeLength] = {0x6A, 0xFF, 0xFF, 0x15, 0, 0, 0, 0, 0xEB, 0xF6};
    memcpy(&b[entry], code, sizeof code);
    Put32(b, entry + 4, kSampleImageBase + kIatRva);
    return b;
}

} // namespace

uint32_t SampleEntryPoint(int record)
{
    const DetectionRecord& r = DetectionTable[record];
    int32_t lowest = std::min({r.offset1, r.offset2, 0});
    return kFirstFree + uint32_t(-lowest);
}

std::vector<uint8_t> BuildSample(int record, SampleKind kind)
{
    const DetectionRecord& r = DetectionTable[record];
    const uint32_t entry = SampleEntryPoint(record);
    std::vector<uint8_t> b = BuildProgram(uint32_t(r.size), entry);

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

std::vector<uint8_t> BuildCleanProgram(uint32_t length)
{
    return BuildProgram(std::max<uint32_t>(length, 0x400), kFirstFree);
}

bool WriteSample(const std::string& path, int record, SampleKind kind)
{
    return WriteBytes(path, BuildSample(record, kind));
}

ProcessGuard& ProcessGuard::operator=(ProcessGuard&& other) noexcept
{
    if (this != &other) {
        Stop();
        pi_ = other.pi_;
        other.pi_ = {};
    }
    return *this;
}

bool ProcessGuard::IsRunning() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

long ProcessGuard::WaitExit(DWORD ms) const
{
    if (!pi_.hProcess || WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return long(code);
}

void ProcessGuard::Stop()
{
    if (pi_.hProcess) {
        if (IsRunning()) {
            TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hProcess);
    }
    if (pi_.hThread)
        CloseHandle(pi_.hThread);
    pi_ = {};
}

ProcessGuard StartProgram(const std::string& path, const std::string& args, const std::string& currentDir)
{
    std::string cmd = "\"" + path + "\"";
    if (!args.empty())
        cmd += " " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi))
        return ProcessGuard();
    ProcessGuard guard(pi);
    // Give the loader a moment to map the image (which locks the file).
    WaitForInputIdle(pi.hProcess, 0);
    Sleep(150);
    return guard;
}

} // namespace scx::test
