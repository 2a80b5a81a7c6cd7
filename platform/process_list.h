// One listing of the running processes, by the method a Windows family has:
// Toolhelp snapshots (9x family) or PSAPI (NT family). Neither library exists
// everywhere, so both are bound by name when needed and never unloaded.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

struct ProcessRecord {
    DWORD processId;
    // The image's exact path as UTF-8, without the "\\?\" prefix, of any
    // length; owned by the list.
    char* imagePath;
    ProcessRecord* next;
};

// The processes of one listing, in listing order; every node is freed with
// the list.
class ProcessList {
public:
    ProcessList() = default;
    ~ProcessList();
    ProcessList(const ProcessList&) = delete;
    ProcessList& operator=(const ProcessList&) = delete;

    // Copies imagePath (UTF-8). False when no node could be allocated.
    bool Append(DWORD processId, const char* imagePath);
    ProcessRecord* head() const { return head_; }

private:
    ProcessRecord* head_ = nullptr;
    ProcessRecord* tail_ = nullptr;
};

enum ListOutcome {
    kListUnavailable = 0, // no library, function, snapshot or process ids
    kListed = 1,
    kListIncomplete = -1, // memory ran out part way
};

// Hands every Toolhelp snapshot entry, in snapshot order and with szExeFile
// terminated, to visit until it returns false (kListed either way). paceMs:
// the pause ending a process by its image has always made after taking the
// snapshot and around each step to the next entry; 0 for none.
ListOutcome WalkProcessesToolhelp(bool (*visit)(const PROCESSENTRY32& entry, void* context), void* context,
                                  DWORD paceMs);

// Every snapshot entry: its id and szExeFile (a full path on the 9x family),
// converted from the ANSI code page to UTF-8. An entry whose name cannot be
// converted is left out.
ListOutcome ListProcessesToolhelp(ProcessList& list);

// At most 1024 process ids; each process opened for query and reading, its
// image path read whole with GetModuleFileNameExW (the ANSI form where the
// wide one is missing) and kept as UTF-8, a "\\?\" prefix taken off.
// Processes that cannot be opened or named are left out. When an open is
// refused and whenDenied is given, it is called once per such process and
// the open tried again.
ListOutcome ListProcessesPsapi(ProcessList& list, void (*whenDenied)());
