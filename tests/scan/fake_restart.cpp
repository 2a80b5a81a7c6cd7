// Takes the place of the real restart in the memory-stage driver tests, so
// that answering OK to the found-in-memory notice is seen to ask for the
// restart without restarting the test's Windows session.
#include "scan/repair.h"

#include <cstdio>

int RestartWindows()
{
    printf("RESTART REQUESTED\n");
    fflush(stdout);
    return 0;
}
