#include "ui/ui_globals.h"

CDialog* g_mainDlg = nullptr;
CFont g_labelFont;
CBrush g_whiteBrush;
bool g_largeFonts = false;
