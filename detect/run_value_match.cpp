#include "detect/run_value_match.h"

#include <cstddef>
#include <cstring>

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (*text == '\0' || Lower(*text) != Lower(*prefix))
            return false;
    }
    return true;
}

bool ContainsNoCase(const char* text, const char* needle)
{
    if (*needle == '\0')
        return false;
    for (; *text; ++text) {
        if (StartsWithNoCase(text, needle))
            return true;
    }
    return false;
}

// Without any backslash, or starting with one, the data names a program
// that Windows looks up by its name alone.
bool IsBare(const char* data)
{
    return data[0] == '\\' || strchr(data, '\\') == nullptr;
}

const char* ComparisonStart(const char* text)
{
    return text[0] == '"' ? text + 1 : text;
}

} // namespace

const char* RunValueFileName(const char* path)
{
    if (!path)
        return nullptr;
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : nullptr;
}

RunValueVerdict DecideRunValue(const char* data, const char* expanded, const char* currentFilePath)
{
    if (!data || !currentFilePath || currentFilePath[0] == '\0')
        return RunValueVerdict::Keep;
    const char* fileName = RunValueFileName(currentFilePath);
    // An empty file name would be found in every value.
    if (!fileName || fileName[0] == '\0')
        return RunValueVerdict::Keep;

    if (IsBare(data) && ContainsNoCase(data, fileName)) {
        if (ContainsNoCase(currentFilePath, "\\system\\") ||
            ContainsNoCase(currentFilePath, "\\system32\\"))
            return RunValueVerdict::NameCaseDelete;
        return RunValueVerdict::NameCaseKeep;
    }
    if (StartsWithNoCase(ComparisonStart(data), currentFilePath))
        return RunValueVerdict::PathCaseDelete;
    if (expanded && StartsWithNoCase(ComparisonStart(expanded), currentFilePath))
        return RunValueVerdict::PathCaseDelete;
    return RunValueVerdict::Keep;
}
