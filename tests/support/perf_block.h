// Performance-data blocks and counter-title lists built by the tests, in the
// layout the system publishes (one layout for 32- and 64-bit programs alike).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace scx::test {

constexpr uint32_t kTestProcessIndex = 230;
constexpr uint32_t kTestIdProcessIndex = 784;

struct PerfTestInstance {
    std::u16string name;
    uint32_t processId;
};

struct PerfBlock {
    std::vector<uint8_t> bytes;
    size_t object = 0;                 // offset of the first PERF_OBJECT_TYPE
    std::vector<size_t> instances;     // offset of each PERF_INSTANCE_DEFINITION
    std::vector<size_t> counterBlocks; // offset of each PERF_COUNTER_BLOCK

    void Put32(size_t at, uint32_t v)
    {
        if (bytes.size() < at + 4)
            bytes.resize(at + 4);
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (8 * i));
    }
};

inline std::u16string U16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

// A block of one process object with two counters (the "id process"
// counter second, at offset 16 of each 24-byte counter block).
inline PerfBlock BuildPerfBlock(const std::vector<PerfTestInstance>& instances,
                                uint32_t idIndex = kTestIdProcessIndex)
{
    PerfBlock b;
    const size_t header = 88;
    b.bytes.assign(header, 0);
    const char sig[] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
    memcpy(b.bytes.data(), sig, 8);
    b.Put32(8, 1);       // LittleEndian
    b.Put32(24, header); // HeaderLength
    b.Put32(28, 1);      // NumObjectTypes
    b.object = header;
    const uint32_t numCounters = 2;
    const uint32_t definitionLength = 64 + 40 * numCounters;
    b.bytes.resize(header + definitionLength, 0);
    b.Put32(b.object + 4, definitionLength);
    b.Put32(b.object + 8, 64); // HeaderLength
    b.Put32(b.object + 12, kTestProcessIndex);
    b.Put32(b.object + 32, numCounters);
    b.Put32(b.object + 40, uint32_t(instances.size()));
    // Counter 1: something else at offset 8; counter 2: id process at 16.
    size_t def = b.object + 64;
    b.Put32(def + 0, 40);
    b.Put32(def + 4, 6);
    b.Put32(def + 32, 8);
    b.Put32(def + 36, 8);
    def += 40;
    b.Put32(def + 0, 40);
    b.Put32(def + 4, idIndex);
    b.Put32(def + 32, 4);
    b.Put32(def + 36, 16);
    for (const PerfTestInstance& inst : instances) {
        size_t at = b.bytes.size();
        size_t nameBytes = (inst.name.size() + 1) * 2;
        size_t instLength = (24 + nameBytes + 7) / 8 * 8;
        b.bytes.resize(at + instLength + 24, 0);
        b.Put32(at + 0, uint32_t(instLength));
        b.Put32(at + 12, 0xFFFFFFFF); // UniqueID: none
        b.Put32(at + 16, 24);         // NameOffset
        b.Put32(at + 20, uint32_t(nameBytes));
        for (size_t i = 0; i < inst.name.size(); ++i) {
            b.bytes[at + 24 + 2 * i] = uint8_t(inst.name[i]);
            b.bytes[at + 24 + 2 * i + 1] = uint8_t(inst.name[i] >> 8);
        }
        size_t block = at + instLength;
        b.Put32(block, 24); // counter block ByteLength
        b.Put32(block + 16, inst.processId);
        b.instances.push_back(at);
        b.counterBlocks.push_back(block);
    }
    b.Put32(b.object + 0, uint32_t(b.bytes.size() - b.object)); // TotalByteLength
    b.Put32(16 + 4, uint32_t(b.bytes.size()));                   // TotalByteLength of the block
    return b;
}

// The "Counters" list: index and title strings, each NUL-terminated, ending
// with an empty string.
inline std::vector<uint8_t> BuildCounterTitles(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::vector<uint8_t> out;
    for (const auto& p : pairs) {
        out.insert(out.end(), p.first.begin(), p.first.end());
        out.push_back(0);
        out.insert(out.end(), p.second.begin(), p.second.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

inline std::vector<uint8_t> StandardCounterTitles()
{
    return BuildCounterTitles({{"1", "1847"}, {"2", "System"}, {"230", "Process"}, {"6", "% Processor Time"},
                               {"784", "ID Process"}, {"786", "Pool Paged Bytes"}});
}

} // namespace scx::test
