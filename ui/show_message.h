#pragma once
// Skinned replacement for the system message box: same flags, same results
// (IDOK, IDCANCEL, IDYES, IDNO), -1 when the box cannot be created.
int ShowMessage(const char* text, const char* caption, unsigned int flags);
