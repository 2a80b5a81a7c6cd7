#include <windows.h>

#include "framework/framework.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int show)
{
    return AfxWinMain(instance, previous, cmdLine, show);
}
