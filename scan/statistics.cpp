#include "scan/statistics.h"

#include "scan/scan_state.h"

#include <cstdio>

void WriteStatistics(void (*line)(const char* text))
{
    char text[64];
    line("Scanning statistics");
    line("------------------------------");
    snprintf(text, sizeof text, "Total files scanned\t\t:  %d", ScanState.filesScanned);
    line(text);
    snprintf(text, sizeof text, "Total files infected\t\t:  %d", ScanState.filesInfected);
    line(text);
    snprintf(text, sizeof text, "Total files removed\t\t:  %d", ScanState.filesRemoved);
    line(text);
}
