// The mail-attachment signature record and the reading of a file's head and
// tail for it, over an open file descriptor. Free of <windows.h>: the Windows
// scan and the native rescue scanner both use it.
#pragma once
#include "detect/mail_match.h"

#include <cstdint>

// The one signature record, scrambled until DescrambleSignature has run.
extern MailSignatureRecord MailSignature;
// Nonzero once the pattern has been descrambled (in place, once per process).
extern unsigned char MailSignatureDescrambled;

void DescrambleSignature();
// 1 when the open file starts with "begin" in any letter case.
int StartsWithBegin(int fd);
// Reads the head and tail blocks of the open file of fileLength bytes and
// applies the (descrambled) record to them. False on any failed seek or read.
bool MatchMailFile(int fd, int64_t fileLength);
