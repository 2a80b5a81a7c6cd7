// The mail-attachment content scan: the signature record and the steps of
// ScanMailAttachment that work on an open file descriptor.
#pragma once
#include "detect/mail_match.h"

// The one signature record, scrambled until DescrambleSignature has run.
extern MailSignatureRecord MailSignature;
// Nonzero once the pattern has been descrambled (in place, once per process).
extern unsigned char MailSignatureDescrambled;

void DescrambleSignature();
// 1 when the open file starts with "begin" in any letter case.
int StartsWithBegin(int fd);
