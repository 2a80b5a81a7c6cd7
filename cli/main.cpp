// scourix-cli: the scan for scripts and fleet tools. Same engine as the
// dialog program; answers by its switches and never opens a window.
#include "cli/cli_options.h"
#include "cli/console_scan.h"

#include <cstdio>

int main(int argc, char** argv)
{
    static CliOptions options;
    if (!ParseCliOptions(argc, argv, options)) {
        fprintf(stderr, "scourix-cli: %s\n\n%s", options.error, kCliUsage);
        return kExitUsage;
    }
    if (options.help) {
        // No scan ran: never let a script read this as a clean result.
        if (!options.quiet)
            fputs(kCliUsage, stdout);
        return kExitUsage;
    }
    if (options.listFolder[0] || options.restoreSha256[0])
        return RunQuarantineCommand(options);
    return RunConsoleScan(options);
}
