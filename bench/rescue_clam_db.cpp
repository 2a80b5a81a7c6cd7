// Writes the detection table as a ClamAV logical signature database: each
// record's two patterns at its distances from the entry point, in a PE file
// of the record's exact length. The database the benchmark gives clamscan.
#include "detect/detection.h"

#include <cstdio>

static void Hex(const unsigned char* p)
{
    for (int i = 0; i < kPatternLength; ++i)
        printf("%02x", p[i]);
}

static void Offset(int32_t distance) { printf("EP%+d:", distance); }

int main()
{
    for (int i = 0; DetectionTable[i].name[0]; ++i) {
        const DetectionRecord& r = DetectionTable[i];
        // Names must be unique; two records share one.
        printf("Scourix.%d.", i);
        for (const char* c = r.name; *c; ++c)
            putchar(*c == '/' ? '-' : *c);
        printf(";Engine:51-255,Target:1,FileSize:%d-%d;0&1;", r.size, r.size);
        Offset(r.offset1);
        Hex(r.pattern1);
        putchar(';');
        Offset(r.offset2);
        Hex(r.pattern2);
        putchar('\n');
    }
    return 0;
}
