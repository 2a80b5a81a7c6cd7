#include "engine/engine.h"
// Placeholder so the program links; replaced by the real routine.
const VirusHandler HandlerTable[] = {{"W32/Vexmor.Trojan", CheckTrojanFile}, {nullptr, nullptr}};
int CheckTrojanFile(const char*, const char*) { return 0; }
int ReadPeHeaders(int) { return 0; }
uint32_t RvaToFileOffset(uint32_t rva, int) { return rva; }
