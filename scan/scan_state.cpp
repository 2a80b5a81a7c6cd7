#include "scan/scan_state.h"

#include "detect/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ScanStateData ScanState;
int ActionMode;
char ResultLine[kResultLineSize];
char StatusText[kStatusTextSize];

void ReportResultLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(ResultLine, sizeof ResultLine, format, args);
    va_end(args);
    FrontEndResultLine(ResultLine);
}

void ReportStatus(const char* text)
{
    CopyText(StatusText, sizeof StatusText, text);
    FrontEndStatus(StatusText, kStatusNow);
}
