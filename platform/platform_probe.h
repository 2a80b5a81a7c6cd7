// Which Windows this is, as the methods that differ by family choose it.
#pragma once

// 4 Windows 9x family, 5 NT family, 1 other, 0 when the version query fails.
int GetPlatformCode();
// 5 NT 4, 6 NT 5.x, 0 otherwise (NT 6 and later included).
int GetNtVersionCode();
