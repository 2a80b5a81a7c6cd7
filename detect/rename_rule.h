// The new name of an infected file that is renamed rather than deleted.
#pragma once
#include <cstddef>

// The character after the last '.' of the file name (never of a folder name;
// a whole UTF-8 character) becomes 'V'; a file name that ends in '.' gets a 'V' appended. False, with
// out unusable, when the file name has no '.', when the new name would be the
// old one, or when it does not fit in outSize.
bool MakeRenamedPath(const char* path, char* out, size_t outSize);
