#include "detect/mail_signature.h"

#include <fcntl.h>
#include <stdio.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#define _lseek lseek
#define _read read
#endif

// The pattern is kept scrambled so that this program's own image never
// carries the plain signature bytes for other scanners to flag.
MailSignatureRecord MailSignature = {
    "W32/Nyxem.Worm",
    134042,
    1888,
    100,
    0,
    {0x26, 0x5F, 0x3D, 0x46, 0x24, 0x56, 0x5C, 0x42, 0x22, 0x55, 0x49, 0x4A, 0x2D, 0x51, 0x5C,
     0x2A, 0x3F, 0x56, 0x5C, 0x42, 0x2E, 0x43, 0x4D, 0x3A, 0x22, 0x50, 0x2D, 0x5F, 0x31, 0x43,
     0x4D, 0x2A, 0x2A, 0x57, 0x2D, 0x3E, 0x27, 0x52, 0x5C, 0x46, 0x38, 0x43, 0x4C, 0x5A, 0x2E,
     0x55, 0x4C, 0x5B, 0x2B, 0x57, 0x3C, 0x5A, 0x2A, 0x50, 0x2D, 0x5A, 0x22, 0x50, 0x2D, 0x57,
     0x2B, 0x26, 0x51, 0x5D, 0x33, 0x2B, 0x52, 0x2D, 0x36, 0x39, 0x43, 0x4D, 0x4E, 0x25, 0x43,
     0x4D, 0x5E, 0x25, 0x53, 0x3D, 0x36, 0x2F, 0x52, 0x5D, 0x5B, 0x2B, 0x50, 0x5D, 0x4E, 0x22,
     0x50, 0x49, 0x4A, 0x2A, 0x56, 0x4C, 0x5A, 0x2A, 0x53, 0x3D},
    1,
    4,
    18,
    0,
    {},
};
unsigned char MailSignatureDescrambled;

namespace {

bool ReadExactly(int fd, uint8_t* buffer, size_t count)
{
    int got = _read(fd, buffer, static_cast<unsigned>(count));
    return got >= 0 && static_cast<size_t>(got) == count;
}

} // namespace

void DescrambleSignature()
{
    if (MailSignatureDescrambled)
        return;
    size_t count = MailSignature.length;
    if (count > sizeof MailSignature.pattern)
        count = sizeof MailSignature.pattern;
    for (size_t i = 0; i < count; ++i)
        MailSignature.pattern[i] ^= kMailScrambleKey;
    MailSignatureDescrambled = 1;
}

int StartsWithBegin(int fd)
{
    if (_lseek(fd, 0, SEEK_SET) != 0)
        return 0;
    uint8_t word[5];
    if (!ReadExactly(fd, word, sizeof word))
        return 0;
    return HasBeginWord(word, sizeof word) ? 1 : 0;
}

bool MatchMailFile(int fd, int64_t fileLength)
{
    // Lengths the record's 32-bit size field cannot describe never match.
    if (fileLength < 0 || fileLength > 0x7FFFFFFF || !StartsWithBegin(fd))
        return false;
    static uint8_t rawHead[kMailBlockSize];
    static uint8_t rawTail[kMailBlockSize];
    const int32_t length = static_cast<int32_t>(fileLength);
    if (static_cast<uint64_t>(fileLength) < kMailBlockSize) {
        const size_t n = static_cast<size_t>(fileLength);
        if (_lseek(fd, 0, SEEK_SET) != 0 || !ReadExactly(fd, rawHead, n))
            return false;
        return MatchMailBlocks(MailSignature, rawHead, nullptr, n, length);
    }
    if (_lseek(fd, 0, SEEK_SET) != 0 || !ReadExactly(fd, rawHead, kMailBlockSize))
        return false;
    const long tailStart = static_cast<long>(length) - static_cast<long>(kMailBlockSize);
    if (_lseek(fd, tailStart, SEEK_SET) != tailStart || !ReadExactly(fd, rawTail, kMailBlockSize))
        return false;
    return MatchMailBlocks(MailSignature, rawHead, rawTail, kMailBlockSize, length);
}
