// Adding a rename entry to the text of wininit.ini. Plain C++ over byte
// streams, apart from the file handling so that it can be built and fuzzed
// off Windows as well.
#pragma once
#include <cstddef>

// wininit.ini is read in pieces as fgets with a count of 648 reads it: at
// most 647 characters, up to and including a line feed.
constexpr size_t kWininitPieceChars = 647;

class WininitInput {
public:
    static constexpr int kEnd = -1;
    static constexpr int kError = -2;
    // The next byte (0..255), kEnd, or kError when reading failed.
    virtual int NextByte() = 0;

protected:
    ~WininitInput() = default;
};

class WininitOutput {
public:
    // False unless all length bytes were written.
    virtual bool Write(const char* data, size_t length) = 0;

protected:
    ~WininitOutput() = default;
};

// Reads one piece into piece (room for kWininitPieceChars + 1; terminated,
// though a piece may hold NUL bytes). Returns its length, 0 at the end, -1
// when reading failed.
long ReadWininitPiece(WininitInput& in, char* piece);

// True when the piece begins with "[rename]", letter case ignored.
bool IsRenameHeader(const char* piece, size_t length);

// The content of a new wininit.ini: "[rename]\r\n" and the entry
// destination "=" source "\r\n".
bool WriteNewWininit(WininitOutput& out, const char* destination, const char* source);

// Copies the old wininit.ini from in to out unchanged, with the entry added
// as the last line of the first [rename] section, or, where there is none,
// at the end behind a new "[rename]\r\n" header. An entry at the end always
// stands on its own line. False when reading or any write failed.
bool RewriteWininit(WininitInput& in, WininitOutput& out, const char* destination, const char* source);

// Bytes held in memory as input (tests, fuzzing).
class MemoryWininitInput final : public WininitInput {
public:
    MemoryWininitInput(const void* data, size_t length)
        : data_(static_cast<const unsigned char*>(data)), length_(length) {}
    int NextByte() override { return pos_ < length_ ? data_[pos_++] : kEnd; }

private:
    const unsigned char* data_;
    size_t length_;
    size_t pos_ = 0;
};
