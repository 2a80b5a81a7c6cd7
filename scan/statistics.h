// The closing statistics of a scan, for every front end the same.
#pragma once

// Hands the block's lines, in order, to line: the heading, its rule and the
// scanned, infected and removed counts of ScanState.
void WriteStatistics(void (*line)(const char* text));
