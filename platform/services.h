// Windows services: stopping one, and removing its registration.
#pragma once
#include <windows.h>

// 1 when the service was told to stop and was then seen stopped.
int StopServiceByName(const char* name);
// Stops an opened service and waits for it as StopServiceByName does.
int StopOpenService(SC_HANDLE service);

int DeleteServiceRegistration(const char* serviceName);
int DeleteMachineKey(const char* subKeyPath);

// The same for a name given as UTF-8 (an image's exact file name): the ANSI
// calls when the name has an exact form in the code page, otherwise the wide
// ones (NT family, bound at run time). A name neither can spell exactly is
// never passed on: a '?' in its place could name another service.
int StopServiceByNameUtf8(const char* name);
int DeleteServiceRegistrationUtf8(const char* serviceName);
