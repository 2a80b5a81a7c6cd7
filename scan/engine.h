// The scan engine: scan run, directory walker and cancel pump, trojan file
// check, mail-attachment content scan.
#pragma once
#include "scan/scan_state.h"
#include <cstdint>

constexpr UINT_PTR ScanTimerId = 100;

enum ScanEnd : int {
    kScanFinished = 1,
    // The trojan was running: the front end ends the program now, and the
    // walks, the statistics and the restart question never come.
    kScanEndAfterMemoryStage = 2,
};

// Runs the memory stage, the walks, the statistics and the restart question,
// reporting to frontEnd for its whole duration.
ScanEnd RunScan(FrontEnd& frontEnd);

// Walks one UTF-8 pattern ("C:\*.*", "C:\dir\*.*", or one file path in
// memory-stage mode) of any length; handlers receive UTF-8 paths. Returns 0
// after a stop request, -1 when a path cannot be formed, otherwise
// ScanState.filesScanned.
int WalkDirectory(const char* pattern);

// Reparse tags: the name-surrogate bit marks links, junctions and mount
// points; tags up to 2 are reserved, never a real tag.
constexpr DWORD kReparseTagNameSurrogate = 0x20000000;
constexpr DWORD kReparseTagReservedRange = 2;

// True for a folder entry the walker descends into: not "." or "..", and not
// a link of any kind (a folder whose reparse tag is no name surrogate holds
// real files and is walked).
bool IsWalkedSubfolder(const WIN32_FIND_DATAA& data);
bool IsWalkedSubfolder(const WIN32_FIND_DATAW& data);

// Removes and handles at most one queued message of this thread.
void PumpScanMessages();

// Fits the UTF-8 source into maxLength characters, never splitting one;
// destination holds maxLength * 4 + 1 bytes (maxLength + 1 for ASCII text).
void ShortenPathForDisplay(const char* source, char* destination, short maxLength);

struct VirusHandler {
    const char* detectionName;
    int (*check)(const char* detectionName, const char* path);
};
// Ends with an entry whose detectionName is null.
extern const VirusHandler HandlerTable[];

// 1 when a detection record matched the file (and acts on it by ActionMode).
int CheckTrojanFile(const char* detectionName, const char* path);

// PE header reading on an open descriptor (state kept for the current file).
int ReadPeHeaders(int fd);
uint32_t RvaToFileOffset(uint32_t rva, int fd);

// 1 when the file matched the mail-attachment signature.
int ScanMailAttachment(const char* detectionName, const char* path);
