// System functions that older Windows lacks are looked up by name when they
// are needed: a missing library or function gives null, and the caller gives
// up quietly.
#pragma once
#include <windows.h>

template <typename Fn>
Fn Bind(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
