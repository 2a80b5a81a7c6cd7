// The memory stage's question when the trojan was running, as the user reads
// it (the line feeds still escaped, as the scan formats them).
#pragma once

inline constexpr char kFoundInMemoryNotice[] =
    "W32/Vexmor.Trojan found in memory! registry entries created by the worm are removed. "
    "You must restart the computer and run this program to continue scanning.\\n\\n"
    "Restart the computer now?";
