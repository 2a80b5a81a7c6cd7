// A detection file that takes a Windows header: the check must refuse it.
#include <windows.h>
