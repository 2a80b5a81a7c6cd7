#include "detect/mail_match.h"

#include "detect/text.h"

#include <cstring>

namespace {

bool IsStrippedSpace(uint8_t c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D);
}

bool SizeRuleHolds(const MailSignatureRecord& record, int32_t fileLength)
{
    const int64_t length = fileLength;
    const int64_t size = record.size;
    switch (record.sizeRule) {
    case 16:
        return length == size;
    case 17:
        return length >= size - 4096 && length <= size + 4096;
    default:
        return true;
    }
}

// Finds the pattern anywhere in the first blockSize bytes of work; it must
// lie wholly inside them.
bool SearchBlock(const uint8_t* work, size_t blockSize, const uint8_t* pattern, size_t length)
{
    if (length > blockSize)
        return false;
    const size_t lastStart = blockSize - length;
    size_t pos = 0;
    while (pos <= lastStart) {
        const void* hit = memchr(work + pos, pattern[0], lastStart - pos + 1);
        if (!hit)
            return false;
        pos = static_cast<size_t>(static_cast<const uint8_t*>(hit) - work);
        if (memcmp(work + pos, pattern, length) == 0)
            return true;
        ++pos;
    }
    return false;
}

} // namespace

bool HasBeginWord(const uint8_t* bytes, size_t count)
{
    static const char kWord[] = "begin";
    if (!bytes || count < 5)
        return false;
    for (size_t i = 0; i < 5; ++i) {
        if (LowerAscii(bytes[i]) != static_cast<uint8_t>(kWord[i]))
            return false;
    }
    return true;
}

size_t StripWhiteSpace(const uint8_t* src, size_t count, uint8_t* dest, size_t destSize)
{
    size_t kept = 0;
    for (size_t i = 0; i < count && kept < destSize; ++i) {
        if (!IsStrippedSpace(src[i]))
            dest[kept++] = src[i];
    }
    return kept;
}

bool MatchMailBlocks(const MailSignatureRecord& record, const uint8_t* rawHead,
                     const uint8_t* rawTail, size_t blockSize, int32_t fileLength)
{
    if (!rawHead || blockSize == 0 || blockSize > kMailBlockSize)
        return false;

    uint8_t head[kMailBlockSize];
    uint8_t tailCopy[kMailBlockSize];
    const size_t headLength = StripWhiteSpace(rawHead, blockSize, head, sizeof head);
    const uint8_t* tail = head;
    size_t tailLength = headLength;
    if (rawTail) {
        tailLength = StripWhiteSpace(rawTail, blockSize, tailCopy, sizeof tailCopy);
        tail = tailCopy;
    }
    // What an unknown block value falls back to: the bytes read last.
    const uint8_t* lastRead = rawTail ? rawTail : rawHead;

    const size_t length = record.length;
    if (length == 0 || length > sizeof record.pattern)
        return false;
    if (fileLength < 0 || static_cast<size_t>(fileLength) < length)
        return false;
    if (!SizeRuleHolds(record, fileLength))
        return false;

    if (record.mode == 1) {
        // Zero-filled so that bytes past the stripped length never match
        // stale data.
        uint8_t work[kMailBlockSize + 1];
        memset(work, 0, sizeof work);
        if (record.block == 0)
            memcpy(work, head, headLength);
        else if (record.block == 1)
            memcpy(work, tail, tailLength);
        else
            memcpy(work, lastRead, blockSize);
        return SearchBlock(work, blockSize, record.pattern, length);
    }

    const uint8_t* window = nullptr;
    if (record.offset < 0)
        return false;
    const size_t offset = static_cast<size_t>(record.offset);
    if (record.block == 0) {
        if (offset > headLength || headLength - offset < length)
            return false;
        window = head + offset;
    } else if (record.block == 1) {
        if (offset > tailLength || offset < length)
            return false;
        window = tail + (tailLength - offset);
    } else {
        if (length > blockSize)
            return false;
        window = lastRead;
    }
    return memcmp(window, record.pattern, length) == 0;
}

bool MatchMailContent(const MailSignatureRecord& record, const uint8_t* file, size_t fileLength)
{
    if (!file || fileLength > 0x7FFFFFFF || !HasBeginWord(file, fileLength))
        return false;
    if (fileLength < kMailBlockSize)
        return MatchMailBlocks(record, file, nullptr, fileLength, static_cast<int32_t>(fileLength));
    return MatchMailBlocks(record, file, file + fileLength - kMailBlockSize, kMailBlockSize,
                           static_cast<int32_t>(fileLength));
}
