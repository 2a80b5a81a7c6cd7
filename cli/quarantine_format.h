// What the quarantine keeps, as bytes: the neutralised copy, its SHA-256
// name and the manifest lines. Platform-free, so it builds natively too.
//
// A kept copy is the 8 bytes "SCXQUAR1" followed by the original bytes, each
// XORed with kQuarantineKey[position % 16] (position counted from the first
// original byte). The header means no loader sees an "MZ" image; the key has
// no zero byte, so no byte of the original (a code pattern included) is kept
// as it was.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr char kQuarantineMagic[8] = {'S', 'C', 'X', 'Q', 'U', 'A', 'R', '1'};
constexpr size_t kQuarantineKeyLength = 16;
extern const uint8_t kQuarantineKey[kQuarantineKeyLength];

// XORs count bytes that stand at position (from the first original byte).
// The same call turns a copy back into the original.
void TransformQuarantineBytes(uint8_t* data, size_t count, uint64_t position);

struct Sha256State {
    uint32_t h[8];
    uint64_t length;
    uint8_t block[64];
    size_t used;
};
void Sha256Begin(Sha256State& state);
void Sha256Add(Sha256State& state, const uint8_t* data, size_t count);
// Lower-case hex, 64 characters and a NUL.
void Sha256End(Sha256State& state, char hex[65]);

// 64 hexadecimal digits, nothing else; lower-cases them in place.
bool NormaliseSha256Hex(char* text);

// One manifest line: time, SHA-256, detection name, original path (UTF-8),
// size, tab-separated; a restored copy has a sixth field "restored TIME".
// A name may hold bytes that would break the line (TAB, CR, LF, other
// control characters, DEL): in the text fields they are written as '|' and
// two upper-case hexadecimal digits, '|' itself as "|7C" ('|' is no
// character of a Win32 file name, so an ordinary name reads as it is).
constexpr char kManifestEscape = '|';
constexpr size_t kManifestTimeChars = 32;
constexpr size_t kManifestNameChars = 64;
// The longest name the system holds: 32,767 UTF-16 units, at most 3 UTF-8
// bytes each.
constexpr size_t kManifestPathChars = 3 * 32767 + 1;
// Escaped, a path byte may take three; the other fields stay small.
constexpr size_t kManifestLineChars = 3 * kManifestPathChars + 512;
struct ManifestEntry {
    char time[kManifestTimeChars];
    char sha256[65];
    char name[kManifestNameChars];
    char path[kManifestPathChars];
    uint64_t size;
    char restored[kManifestTimeChars]; // empty while the copy is only kept
};

// Parses one line (without its line end; length bytes, no NUL needed).
// False for anything that is not a well-formed entry.
bool ParseManifestLine(const char* line, size_t length, ManifestEntry& entry);
// Writes the line with "\r\n" into out; false when it does not fit.
// Every entry it writes, ParseManifestLine reads back as the same entry.
bool FormatManifestLine(const ManifestEntry& entry, char* out, size_t size);
