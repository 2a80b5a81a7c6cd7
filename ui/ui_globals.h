// Process-wide user-interface values. The main dialog creates them during
// its initialisation; the message box and the coloured label read them.
#pragma once
#include "framework/framework.h"

// The main dialog once it is initialised (the message box centres over it);
// nullptr before.
extern CDialog* g_mainDlg;
// Bold label font (the dialog's font, height 15, weight 700); empty until the
// main dialog creates it, deleted at process end.
extern CFont g_labelFont;
// White brush for the main dialog's backgrounds, RGB(255, 255, 255).
extern CBrush g_whiteBrush;
// The screen reports 120 or more logical pixels per inch horizontally.
extern bool g_largeFonts;
