// Reading the process object of a performance-data block and the perflib
// counter-title list. Plain C++ over a buffer and its length, so that it can
// be built and fuzzed off Windows as well: nothing here reads outside
// [data, data + length), whatever the offsets and counts inside say.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kPerfTableSize = 255;   // room in the table
constexpr int kPerfMaxEntries = 254;  // entries filled at most
constexpr int32_t kPerfIdleProcessId = -2; // the id 0 (idle, _Total) is stored as this

struct PerfProcessEntry {
    int32_t processId;
    char name[17]; // ANSI; "unknown" when not convertible, empty when too long
};

// Titles looked up in the "Counters" list.
struct PerfCounterTitles {
    bool haveProcess;
    char processIndex[16]; // the "process" index as text (the value name to query)
    bool haveIdProcess;
    uint32_t idProcessIndex; // the "id process" index as a number
};

// Walks the NUL-separated index/title pairs of the list. False when
// "process" or "id process" was not found with a usable index.
bool ParseCounterTitles(const uint8_t* data, size_t length, PerfCounterTitles* titles);

// Converts a UTF-16 name of nameChars characters (no terminator included) to
// narrow text in out (outSize bytes, terminated). Returns the length written,
// or -1 when the conversion fails.
typedef int (*PerfNameConverter)(const uint16_t* name, size_t nameChars, char* out, size_t outSize);

// The ASCII-only conversion used off Windows: fails on any character above 0x7F.
int PerfAsciiNameConverter(const uint16_t* name, size_t nameChars, char* out, size_t outSize);

// Fills table (kPerfTableSize entries, zeroed here first) from the first
// object of the block and returns the number of entries filled: 0 when the
// block is not usable (no "PERF" signature, no counter titled idProcessIndex,
// no instances). Stops at the first instance that does not lie wholly inside
// the buffer.
int ParsePerfProcessTable(const uint8_t* data, size_t length, uint32_t idProcessIndex,
                          PerfNameConverter convert, PerfProcessEntry* table);

// The name to look for: path without its last four characters, after its
// last backslash. False when path has four characters or fewer, when the
// result is empty, or when it does not fit targetSize.
bool PerfTargetFromPath(const char* path, char* target, size_t targetSize);

// True when name is target (ASCII case ignored), or target followed by "#"
// and one or more digits, the form given to further instances of one image.
bool PerfInstanceNameMatches(const char* name, const char* target);
