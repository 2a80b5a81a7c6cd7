#include "rescue/rescue.h"

#include "detect/exit_codes.h"

#include <getopt.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#ifndef SCX_VERSION_TEXT
#define SCX_VERSION_TEXT "1.0.0.0"
#endif

namespace {

const char kUsage[] =
    "Usage: scourix-rescue [OPTION]... ROOT\n"
    "       scourix-rescue --restore SHA256 --quarantine DIR ROOT\n"
    "Check every file under ROOT (a mounted Windows volume, or any folder) for the\n"
    "Vexmor trojan. Without an action, infected files are only reported.\n"
    "\n"
    "  -r, --remove             delete infected files and the auto-start values in\n"
    "                           the offline registry that start them\n"
    "  -q, --quarantine=DIR     keep a copy of each infected file in DIR (the console\n"
    "                           program's /B format), then remove it as --remove does\n"
    "      --restore=SHA256     put the copy kept under SHA256 (with --quarantine)\n"
    "                           back at its place below ROOT; no scan\n"
    "  -d, --drive=X:           the Windows drive ROOT stands for (default C:)\n"
    "      --json               one JSON object per finding and a summary object\n"
    "      --cross-filesystems  also enter folders on other file systems\n"
    "  -h, --help               show this help and exit\n"
    "  -V, --version            show the version and exit\n"
    "\n"
    "Exit status: 0 nothing found, 1 found and all removed, 2 found and not all\n"
    "removed, 4 usage error, 5 the scan could not run.\n";

int Usage(const char* why)
{
    if (why)
        fprintf(stderr, "scourix-rescue: %s\nTry 'scourix-rescue --help'.\n", why);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    enum { kRestore = 256, kJson, kCross };
    static const option longOptions[] = {
        {"remove", no_argument, nullptr, 'r'},
        {"quarantine", required_argument, nullptr, 'q'},
        {"restore", required_argument, nullptr, kRestore},
        {"drive", required_argument, nullptr, 'd'},
        {"json", no_argument, nullptr, kJson},
        {"cross-filesystems", no_argument, nullptr, kCross},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    RescueOptions options;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "rq:d:hV", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'r':
            options.remove = true;
            break;
        case 'q':
            options.quarantine = optarg;
            if (options.quarantine.empty())
                return Usage("--quarantine needs a folder");
            break;
        case kRestore:
            options.restoreSha256 = optarg;
            break;
        case 'd':
            if (strlen(optarg) != 2 || !isalpha(static_cast<unsigned char>(optarg[0])) || optarg[1] != ':')
                return Usage("--drive takes a drive letter and a colon, e.g. C:");
            options.drive = optarg;
            options.drive[0] = static_cast<char>(toupper(static_cast<unsigned char>(optarg[0])));
            break;
        case kJson:
            options.json = true;
            break;
        case kCross:
            options.crossFilesystems = true;
            break;
        case 'h':
            fputs(kUsage, stdout);
            return kExitClean;
        case 'V':
            printf("scourix-rescue %s\n", SCX_VERSION_TEXT);
            return kExitClean;
        default:
            if (optopt && optopt < 256)
                fprintf(stderr, "scourix-rescue: unknown or incomplete option -%c\n", optopt);
            else
                fprintf(stderr, "scourix-rescue: unknown or incomplete option %s\n", argv[optind - 1]);
            return Usage(nullptr);
        }
    }
    if (optind != argc - 1)
        return Usage(optind >= argc ? "ROOT is missing" : "only one ROOT may be given");
    options.root = argv[optind];
    if (!options.restoreSha256.empty()) {
        if (options.quarantine.empty())
            return Usage("--restore needs --quarantine DIR");
        if (options.remove || options.json)
            return Usage("--restore goes with --quarantine, --drive and ROOT only");
        return RunRescueRestore(options);
    }
    return RunRescueScan(options);
}
