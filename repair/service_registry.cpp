#include "repair/repair.h"
// Placeholder so the program links; replaced by the real routine.
int DeleteServiceRegistration(const char*) { return 0; }
int DeleteMachineKey(const char*) { return 0; }
