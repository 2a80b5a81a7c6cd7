// The closing statistics block's lines, from the three counts. Free of the
// scan state so that the native rescue scanner writes the same block.
#pragma once

// Hands the block's lines, in order, to line: the heading, its rule and the
// scanned, infected and removed counts.
void WriteStatisticsBlock(int scanned, int infected, int removed, void (*line)(const char* text));
