#include "detect/rename_rule.h"

#include "detect/text.h"

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
        dot[1] = 'V';
    }
    return strcmp(out, path) != 0;
}
