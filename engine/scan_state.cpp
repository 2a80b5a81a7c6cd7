#include "engine/scan_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ScanStateData ScanState;
int ActionMode;
char ResultLine[512];
char StatusText[260];

void SendResultReport()
{
    FrontEndResultLine();
}

void SendStatusReport()
{
    FrontEndStatus();
}

void ReportResultLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(ResultLine, sizeof ResultLine, format, args);
    va_end(args);
    SendResultReport();
}

void ReportStatus(const char* text)
{
    CopyText(StatusText, sizeof StatusText, text);
    SendStatusReport();
}

bool CopyText(char* dest, size_t size, const char* src)
{
    if (size == 0)
        return false;
    size_t n = strlen(src);
    bool fits = n < size;
    if (!fits)
        n = size - 1;
    memmove(dest, src, n);
    dest[n] = '\0';
    return fits;
}

bool AppendText(char* dest, size_t size, const char* src)
{
    size_t used = strnlen(dest, size);
    if (used >= size)
        return false;
    return CopyText(dest + used, size - used, src);
}
