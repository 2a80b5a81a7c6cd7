#include "detect/statistics_block.h"

#include <cstdio>

void WriteStatisticsBlock(int scanned, int infected, int removed, void (*line)(const char* text))
{
    char text[64];
    line("Scanning statistics");
    line("------------------------------");
    snprintf(text, sizeof text, "Total files scanned\t\t:  %d", scanned);
    line(text);
    snprintf(text, sizeof text, "Total files infected\t\t:  %d", infected);
    line(text);
    snprintf(text, sizeof text, "Total files removed\t\t:  %d", removed);
    line(text);
}
