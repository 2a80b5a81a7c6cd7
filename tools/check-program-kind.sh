#!/usr/bin/env bash
# Checks, without running them, that the shipped programs of a build folder
# are what their Windows expects: machine, PE format, subsystem, and a
# subsystem version the oldest supported Windows accepts (a higher one makes
# Windows 95 and NT 4 refuse the program).
#   tools/check-program-kind.sh OBJDUMP WIDTH GUI_EXE CONSOLE_EXE
#   WIDTH: 32 (i386, PE32, subsystem 4.0) or 64 (x86-64, PE32+, subsystem 5.2)
set -uo pipefail
objdump=$1 width=$2 gui=$3 console=$4

if [ "$width" = 32 ]; then
    format=pei-i386 magic=010b version=4.0
else
    format=pei-x86-64 magic=020b version=5.2
fi

status=0
check() { # exe subsystem-number subsystem-name
    local exe=$1 number=$2 name=$3 headers major minor failed=0
    if ! headers=$("$objdump" -f -p "$exe" 2>&1); then
        echo "FAIL: $exe: $headers"; status=1; return
    fi
    major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$headers")
    minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$headers")
    grep -q "file format $format\$" <<<"$headers" || { echo "FAIL: $exe is not $format"; failed=1; }
    grep -qE "^Magic[[:space:]]+$magic" <<<"$headers" || { echo "FAIL: $exe: wrong optional-header magic"; failed=1; }
    grep -qE "^Subsystem[[:space:]]+0000000$number[[:space:]]+\($name\)" <<<"$headers" ||
        { echo "FAIL: $exe is not a $name program"; failed=1; }
    [ "$major.$minor" = "$version" ] ||
        { echo "FAIL: $exe: subsystem version $major.$minor, expected $version"; failed=1; }
    [ $failed -eq 0 ] && echo "$(basename "$exe"): $format, $name, subsystem $major.$minor"
    [ $failed -eq 0 ] || status=1
}
check "$gui" 2 "Windows GUI"
check "$console" 3 "Windows CUI"
exit $status
