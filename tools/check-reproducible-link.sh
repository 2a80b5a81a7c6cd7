#!/usr/bin/env bash
# Links each named program of a build folder twice more from the objects the
# build already made, a second apart, and compares the bytes: a link time
# stamp (or anything else that changes from run to run) shows as a difference.
#   tools/check-reproducible-link.sh BUILD_DIR TARGET...
set -euo pipefail
build=$(cd "$1" && pwd); shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "$@"; do
    # The link command as the build runs it (ninja prints it relative to the build folder).
    cmd=$(cd "$build" && ninja -t commands "$target" | tail -n 1)
    out=$(printf '%s\n' "$cmd" | grep -o -- '-o [^ ]*' | tail -n 1 | cut -c4-)
    [ -n "$cmd" ] && [ -n "$out" ] || { echo "no link command for $target" >&2; exit 2; }
    for n in 1 2; do
        relinked="$work/$n-$(basename "$out")"
        # The import library goes to the side as well: the build's own stays untouched.
        one=${cmd//"-o $out"/"-o $relinked"}
        one=$(printf '%s' "$one" | sed -E "s#--out-implib,[^ ]*#--out-implib,$work/implib.a#")
        (cd "$build" && eval "$one")
        [ "$n" = 1 ] && sleep 1.1
    done
    if cmp -s "$work/1-$(basename "$out")" "$work/2-$(basename "$out")"; then
        echo "$target: relinked twice, same bytes"
    else
        echo "$target: two links from the same objects differ" >&2
        status=1
    fi
    # The COFF header's time stamp must be zero.
    stamp=$(python3 - "$work/1-$(basename "$out")" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3c)[0]
print(struct.unpack_from('<I', data, pe + 8)[0])
PY
)
    if [ "$stamp" != 0 ]; then
        echo "$target: link time stamp $stamp in the header" >&2
        status=1
    fi
done
exit $status
