#include "ui/show_message.h"
#include <windows.h>
// Placeholder so the program links; replaced by the real routine.
int ShowMessage(const char* text, const char* caption, unsigned int flags) { return MessageBoxA(nullptr, text, caption, flags); }
