#include "detect/rename_rule.h"

#include "detect/text.h"
#include "detect/utf8.h"

#include <cstring>

bool MakeRenamedPath(const char* path, char* out, size_t outSize)
{
    if (!CopyText(out, outSize, path))
        return false;
    char* name = strrchr(out, '\\');
    name = name ? name + 1 : out;
    char* dot = strrchr(name, '.');
    if (!dot)
        return false;
    if (dot[1] == '\0') {
        if (!AppendText(out, outSize, "V"))
            return false;
    } else {
        // The whole character gives way: the name is UTF-8.
        const size_t width = Utf8OffsetOfChar(dot + 1, 1);
        memmove(dot + 2, dot + 1 + width, strlen(dot + 1 + width) + 1);
        dot[1] = 'V';
    }
    return strcmp(out, path) != 0;
}
