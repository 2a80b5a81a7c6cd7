#include "scan/statistics.h"

#include "detect/statistics_block.h"
#include "scan/scan_state.h"

void WriteStatistics(void (*line)(const char* text))
{
    WriteStatisticsBlock(ScanState.filesScanned, ScanState.filesInfected, ScanState.filesRemoved, line);
}
