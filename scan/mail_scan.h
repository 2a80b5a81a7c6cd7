// The mail-attachment content scan: the signature record and the steps that
// work on an open file descriptor live in detect/mail_signature.h.
#pragma once
#include "detect/mail_signature.h"
