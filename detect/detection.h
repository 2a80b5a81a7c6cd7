// The detection table and the PE header reading of the trojan file check.
// Kept free of window, registry and process calls so that the matching can be
// built natively for fuzzing as well.
#pragma once
#include <cstdint>

#pragma pack(push, 1)
struct DetectionRecord {
    char name[50];
    int32_t offset1;            // from the entry point (RVA) to pattern1
    unsigned char pattern1[21]; // 20 bytes, then a zero
    int32_t offset2;
    unsigned char pattern2[21];
    int32_t size;               // file length for the size rule
    int32_t sizeRule;           // SizeRule
};
#pragma pack(pop)
static_assert(sizeof(DetectionRecord) == 108, "records are 108 bytes with no gaps");

enum SizeRule : int32_t {
    kSizeExact = 1,     // length must equal size
    kSizeNear = 2,      // size - length strictly between -4096 and 4096
    kSizeAny = 3,
};

constexpr int kDetectionRecordCount = 13;
constexpr int kPatternLength = 20;

// 13 records, then an end record whose first byte is 0.
extern const DetectionRecord DetectionTable[kDetectionRecordCount + 1];

// True when a file of `length` bytes passes the record's size rule.
bool SizeRuleAccepts(const DetectionRecord& record, int32_t length);
