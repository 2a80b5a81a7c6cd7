#!/usr/bin/env bash
# The release signing, end to end with a throwaway code-signing certificate:
#   signing_test.sh BUILD_DIR TOOLS_DIR POINTER_SIZE STRIP PROGRAM...
# The programs are the build folder's own, stripped as a release link is.
# Exit 77 (skipped) when the signed program cannot be run on this host (a
# 32-bit build where i386 code does not execute); the host checks still ran.
set -uo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

[ $# -ge 5 ] || fail "usage: $0 BUILD_DIR TOOLS_DIR POINTER_SIZE STRIP PROGRAM..."
# Everything below is removed again: it must lie inside a real build folder.
build=$(cd "$1" && pwd) && [ -f "$build/CMakeCache.txt" ] || fail "$1 is not a build folder"
tools=$(cd "$2" && pwd) || fail "no tools folder $2"
bits=$(( $3 * 8 ))
strip=$4
shift 4

work="$build/signing-test"
rm -rf -- "$work"
mkdir -p "$work/dist" "$work/unsigned" || fail "cannot make $work"
scan_dir=""
cleanup() {
    rm -rf -- "$work"
    [ -z "$scan_dir" ] || rm -rf -- "$scan_dir"
}
trap cleanup EXIT
cd "$work" || fail "cannot enter $work"

# --- a CA of our own and a code-signing certificate it issued --------------
make_ca() { # NAME
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 7 -subj "/CN=Scourix test $1" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
make_ca ca || fail "no CA"
make_ca otherca || fail "no second CA"
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Scourix test signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 7 -extfile signer.ext \
    -out signer.pem 2>/dev/null || fail "no signing certificate"
password="test-$RANDOM$RANDOM"
openssl pkcs12 -export -out signer.pfx -inkey signer.key -in signer.pem -certfile ca.pem \
    -passout "pass:$password" || fail "no PFX"

# --- release-like programs ---------------------------------------------------
for p in "$@"; do
    "$strip" -o "$work/unsigned/$(basename "$p")" "$p" || fail "cannot strip $p"
    cp "$work/unsigned/$(basename "$p")" "$work/dist/"
done

# A wrong password signs nothing and leaves the programs as they were.
if SCX_SIGN_PASSWORD=wrong bash "$tools/sign-release.sh" dist signer.pfx >wrong.log 2>&1; then
    fail "signed with a wrong password"
fi
for p in unsigned/*.exe; do
    cmp -s "$p" "dist/$(basename "$p")" || fail "a failed signing changed $(basename "$p")"
done
ok "a wrong password signs nothing"

SCX_SIGN_PASSWORD=$password bash "$tools/sign-release.sh" dist signer.pfx || fail "sign-release.sh failed"

for p in dist/*.exe; do
    name=$(basename "$p")
    cmp -s "$p" "unsigned/$name" && fail "$name was not changed by signing"
    osslsigncode verify -CAfile ca.pem -in "$p" >verify.log 2>&1 || { cat verify.log; fail "$name does not verify"; }
    grep -q "Scourix test signer" verify.log || fail "$name: signer not named"
    if osslsigncode verify -CAfile otherca.pem -in "$p" >other.log 2>&1; then
        fail "$name verifies against a CA that did not issue its certificate"
    fi
    # One changed byte in the code breaks the signature.
    cp "$p" changed.exe
    printf '\x90' | dd of=changed.exe bs=1 seek=$((0x400 + 17)) conv=notrunc status=none
    cmp -s "$p" changed.exe && printf '\xcc' | dd of=changed.exe bs=1 seek=$((0x400 + 17)) conv=notrunc status=none
    if osslsigncode verify -CAfile ca.pem -in changed.exe >changed.log 2>&1; then
        fail "$name still verifies with a changed byte"
    fi
    rm -f stripped.exe
    osslsigncode remove-signature -in "$p" -out stripped.exe >/dev/null 2>&1 || fail "$name: signature not removable"
    cmp -s stripped.exe "unsigned/$name" || fail "$name without its signature differs from the unsigned program"
    ok "$name: verifies against its CA only, breaks with a changed byte, round trip gives the unsigned bytes"
done

# --- the signed console program still starts and scans under Wine -------------
. "$tools/wine-env.sh"
if [ "$bits" = 32 ] && [ "$SCX_HOST_RUNS_I386" = 0 ]; then
    echo "SKIPPED: the signed program was not run: this host cannot execute 32-bit x86 code"
    exit 77
fi
cli=$(ls dist/scourix-cli*.exe | head -n1)
[ -n "$cli" ] || fail "no console program among the signed ones"
name="signing-test.$$"
scan_dir="$build/wine/prefix/drive_c/$name"
mkdir -p "$scan_dir"
echo "nothing to find" >"$scan_dir/notes.txt"
out=$(timeout 120 "$tools/wine-run.sh" "$work/$cli" /N "/F:C:\\$name")
rc=$?
echo "$out"
[ "$rc" = 0 ] || fail "signed $(basename "$cli") ended with $rc"
printf '%s\n' "$out" | grep -q $'Total files scanned\t\t:  1' || fail "signed $(basename "$cli") did not scan"
ok "signed $(basename "$cli") starts and scans under Wine"
