#include "detect/perf_data.h"

#include "detect/text.h"

#include <cstring>

namespace {

// Layout of the performance-data structures (byte offsets): one layout for
// 32- and 64-bit readers, whose headers declare the title fields as DWORDs.
constexpr size_t kBlockHeaderLength = 24;      // PERF_DATA_BLOCK.HeaderLength
constexpr size_t kBlockMinSize = 28;
constexpr size_t kObjDefinitionLength = 4;     // PERF_OBJECT_TYPE
constexpr size_t kObjHeaderLength = 8;
constexpr size_t kObjNumCounters = 32;
constexpr size_t kObjNumInstances = 40;
constexpr size_t kObjSize = 64;
constexpr size_t kCounterTitleIndex = 4;       // PERF_COUNTER_DEFINITION
constexpr size_t kCounterOffset = 36;
constexpr size_t kCounterStride = 40;
constexpr size_t kInstByteLength = 0;          // PERF_INSTANCE_DEFINITION
constexpr size_t kInstNameOffset = 16;
constexpr size_t kInstSize = 24;
constexpr size_t kConvertBufferSize = 260;

// True when [offset, offset + size) lies inside a buffer of length bytes.
bool Fits(uint64_t offset, uint64_t size, size_t length)
{
    return offset <= length && size <= length - offset;
}

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool IsDigits(const char* s, size_t len)
{
    if (len == 0)
        return false;
    for (size_t i = 0; i < len; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
    }
    return true;
}

// Decimal, all digits, no overflow.
bool ParseIndex(const char* s, size_t len, uint32_t* value)
{
    if (!IsDigits(s, len) || len > 10)
        return false;
    uint64_t v = 0;
    for (size_t i = 0; i < len; ++i)
        v = v * 10 + uint64_t(s[i] - '0');
    if (v > 0xFFFFFFFFu)
        return false;
    *value = uint32_t(v);
    return true;
}

void SetName(PerfProcessEntry* entry, const char* text)
{
    size_t n = strlen(text);
    if (n >= sizeof entry->name)
        n = 0; // too long to keep: the name stays empty
    memcpy(entry->name, text, n);
    entry->name[n] = '\0';
}

} // namespace

bool ParseCounterTitles(const uint8_t* data, size_t length, PerfCounterTitles* titles)
{
    memset(titles, 0, sizeof *titles);
    if (!data)
        return false;
    const char* text = reinterpret_cast<const char*>(data);
    const char* previous = nullptr;
    size_t previousLength = 0;
    size_t pos = 0;
    while (pos < length) {
        const void* nul = memchr(text + pos, '\0', length - pos);
        if (!nul)
            break; // unterminated tail: not a string
        const char* s = text + pos;
        size_t len = size_t(static_cast<const char*>(nul) - s);
        if (len == 0)
            break; // the empty string ends the list
        if (previous && EqualNoCase(s, "process")) {
            titles->haveProcess = IsDigits(previous, previousLength) &&
                                  previousLength < sizeof titles->processIndex;
            if (titles->haveProcess) {
                memcpy(titles->processIndex, previous, previousLength);
                titles->processIndex[previousLength] = '\0';
            }
        } else if (previous && EqualNoCase(s, "id process")) {
            titles->haveIdProcess = ParseIndex(previous, previousLength, &titles->idProcessIndex);
        }
        previous = s;
        previousLength = len;
        pos += len + 1;
    }
    return titles->haveProcess && titles->haveIdProcess;
}

int PerfAsciiNameConverter(const uint16_t* name, size_t nameChars, char* out, size_t outSize)
{
    if (nameChars >= outSize)
        return -1;
    for (size_t i = 0; i < nameChars; ++i) {
        if (name[i] > 0x7F)
            return -1;
        out[i] = char(name[i]);
    }
    out[nameChars] = '\0';
    return int(nameChars);
}

int ParsePerfProcessTable(const uint8_t* data, size_t length, uint32_t idProcessIndex,
                          PerfNameConverter convert, PerfProcessEntry* table)
{
    memset(table, 0, sizeof(PerfProcessEntry) * kPerfTableSize);
    if (!data || !convert || length < kBlockMinSize)
        return 0;
    static const uint8_t kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
    if (memcmp(data, kSignature, sizeof kSignature) != 0)
        return 0;

    // Only the first object is used.
    uint64_t obj = ReadU32(data + kBlockHeaderLength);
    if (!Fits(obj, kObjSize, length))
        return 0;
    const uint8_t* o = data + obj;
    uint32_t definitionLength = ReadU32(o + kObjDefinitionLength);
    uint32_t headerLength = ReadU32(o + kObjHeaderLength);
    uint32_t numCounters = ReadU32(o + kObjNumCounters);
    int32_t numInstances = int32_t(ReadU32(o + kObjNumInstances));

    bool found = false;
    uint32_t counterOffset = 0;
    uint64_t def = obj + headerLength;
    for (uint32_t i = 0; i < numCounters && Fits(def, kCounterStride, length); ++i, def += kCounterStride) {
        if (ReadU32(data + def + kCounterTitleIndex) == idProcessIndex) {
            counterOffset = ReadU32(data + def + kCounterOffset);
            found = true;
            break;
        }
    }
    if (!found || numInstances <= 0) // PERF_NO_INSTANCES is -1
        return 0;
    int count = numInstances > kPerfMaxEntries ? kPerfMaxEntries : int(numInstances);

    int filled = 0;
    uint64_t inst = obj + definitionLength;
    for (int i = 0; i < count; ++i) {
        if (!Fits(inst, kInstSize, length))
            break;
        uint64_t instLength = ReadU32(data + inst + kInstByteLength);
        uint64_t nameStart = inst + ReadU32(data + inst + kInstNameOffset);
        uint64_t block = inst + instLength;
        if (!Fits(block, 4, length))
            break;
        uint64_t blockLength = ReadU32(data + block);
        // The id must lie inside this instance's own counter block, which
        // must lie inside the buffer: never an id made of a neighbour's bytes.
        if (!Fits(block, blockLength, length) || uint64_t(counterOffset) + 4 > blockLength)
            break;

        PerfProcessEntry* entry = &table[filled];
        // The name: UTF-16 up to its terminator, which must lie in the buffer.
        bool nameOk = false;
        char converted[kConvertBufferSize];
        if (nameStart < length) {
            size_t maxChars = (length - size_t(nameStart)) / 2;
            const uint8_t* p = data + nameStart;
            size_t chars = 0;
            while (chars < maxChars && (p[2 * chars] | p[2 * chars + 1]) != 0)
                ++chars;
            if (chars < maxChars && chars < kConvertBufferSize) {
                uint16_t wide[kConvertBufferSize];
                for (size_t c = 0; c < chars; ++c)
                    wide[c] = uint16_t(p[2 * c] | p[2 * c + 1] << 8);
                int n = convert(wide, chars, converted, sizeof converted);
                nameOk = n >= 0 && size_t(n) < sizeof converted;
                if (nameOk)
                    converted[n] = '\0';
            }
        }
        SetName(entry, nameOk ? converted : "unknown");

        int32_t pid = int32_t(ReadU32(data + block + counterOffset));
        entry->processId = pid == 0 ? kPerfIdleProcessId : pid;
        ++filled;
        inst = block + blockLength;
    }
    return filled;
}

bool PerfTargetFromPath(const char* path, char* target, size_t targetSize)
{
    if (!path || !target || targetSize == 0)
        return false;
    target[0] = '\0';
    size_t len = strlen(path);
    if (len <= 4)
        return false;
    len -= 4; // the extension, such as ".EXE", whatever the four characters are
    size_t start = 0;
    for (size_t i = 0; i < len; ++i) {
        if (path[i] == '\\')
            start = i + 1;
    }
    size_t n = len - start;
    if (n == 0 || n >= targetSize)
        return false;
    memcpy(target, path + start, n);
    target[n] = '\0';
    return true;
}

bool PerfInstanceNameMatches(const char* name, const char* target)
{
    if (!name || !target || !*target)
        return false;
    size_t i = 0;
    for (; target[i]; ++i) {
        if (!name[i] || LowerAscii(name[i]) != LowerAscii(target[i]))
            return false;
    }
    if (name[i] == '\0')
        return true;
    if (name[i] != '#' || !name[i + 1])
        return false;
    for (size_t j = i + 1; name[j]; ++j) {
        if (name[j] < '0' || name[j] > '9')
            return false;
    }
    return true;
}
