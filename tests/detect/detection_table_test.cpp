// The built-in table, byte for byte, against a digest taken from the
// published record layout: fixture samples are built from this same table
// and would not notice a mistyped byte.
#include "detect/detection.h"
#include "tests/support/sha256.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(DetectionTable, ThirteenRecordsMatchTheirDigest)
{
    EXPECT_EQ(1404u, sizeof(DetectionRecord) * kDetectionRecordCount);
    EXPECT_EQ("612ff43ccd12e9a0352c3d7247b1b409bcd2ed97954c14aeaf9d4baed8e922f6",
              scx::test::Sha256Hex(DetectionTable, sizeof(DetectionRecord) * kDetectionRecordCount));
}

TEST(DetectionTable, EndsWithAnEmptyRecord)
{
    EXPECT_EQ('\0', DetectionTable[kDetectionRecordCount].name[0]);
    for (int i = 0; i < kDetectionRecordCount; ++i)
        EXPECT_NE('\0', DetectionTable[i].name[0]) << i;
}
