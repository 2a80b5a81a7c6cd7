// Windows services: stopping one, and removing its registration.
#pragma once

// 1 when the service was told to stop and was then seen stopped.
int StopServiceByName(const char* name);

int DeleteServiceRegistration(const char* serviceName);
int DeleteMachineKey(const char* subKeyPath);
