// The names the program shows, in one place: the window title (by which a
// second copy also finds the first) and the name its reports give the family.
#pragma once

constexpr char kProductCaption[] = "Scourix Ver 1.0";
// The family's name in the memory stage's and the registry's result lines;
// a macro too, so that sentences naming it are joined at compile time.
#define SCX_TROJAN_REPORT_NAME "W32/Vexmor.Trojan"
constexpr char kTrojanReportName[] = SCX_TROJAN_REPORT_NAME;
