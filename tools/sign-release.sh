#!/usr/bin/env bash
# Authenticode-signs every program in a release folder with osslsigncode, in
# place, and checks the round trip: removing the signature again must give
# back exactly the unsigned bytes.
#   tools/sign-release.sh FOLDER CERT.pfx [--timestamp URL]
# The certificate's password comes from the environment variable
# SCX_SIGN_PASSWORD (empty when unset), never from the command line; it
# reaches osslsigncode through a file only this user can read.
# Without --timestamp the signature carries no time-stamp (an offline signing
# machine) and its signing time is the commit's (SOURCE_DATE_EPOCH), so the
# signed bytes are reproducible too.
set -euo pipefail

usage() { echo "usage: $0 FOLDER CERT.pfx [--timestamp URL]" >&2; exit 2; }
[ $# -ge 2 ] || usage
folder=$1
cert=$2
shift 2
timestamp=""
while [ $# -gt 0 ]; do
    case "$1" in
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
        *) usage ;;
    esac
done
command -v osslsigncode >/dev/null || { echo "sign-release: osslsigncode is missing (bash tools/setup-deps.sh)" >&2; exit 2; }
[ -f "$cert" ] || { echo "sign-release: no certificate file $cert" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
(umask 077; printf '%s' "${SCX_SIGN_PASSWORD:-}" >"$work/pass")

shopt -s nullglob nocaseglob
programs=("$folder"/*.exe)
shopt -u nocaseglob
[ ${#programs[@]} -gt 0 ] || { echo "sign-release: no .exe in $folder" >&2; exit 1; }

options=(-pkcs12 "$cert" -readpass "$work/pass" -h sha256
         -n "Scourix" -i "https://www.tessaro.example/scourix")
if [ -n "$timestamp" ]; then
    options+=(-ts "$timestamp")
else
    options+=(-time "${SOURCE_DATE_EPOCH:-0}")
fi

for p in "${programs[@]}"; do
    name=$(basename "$p")
    # Signing pads a program to a multiple of 8 bytes, and removing the
    # signature keeps the padding: the round trip holds only for programs that
    # need none. Release links (stripped) always end on a section boundary.
    if [ $(( $(stat -c %s "$p") % 8 )) -ne 0 ]; then
        echo "sign-release: $name is not a release build (its length is not a multiple of 8; debug symbols?)" >&2
        exit 1
    fi
    # osslsigncode writes no file that exists already.
    rm -f "$work/unsigned.exe" "$work/signed.exe" "$work/stripped.exe"
    cp "$p" "$work/unsigned.exe"
    if ! osslsigncode sign "${options[@]}" -in "$work/unsigned.exe" -out "$work/signed.exe" >"$work/log" 2>&1; then
        cat "$work/log" >&2
        echo "sign-release: $name could not be signed" >&2
        exit 1
    fi
    osslsigncode remove-signature -in "$work/signed.exe" -out "$work/stripped.exe" >"$work/log" 2>&1 || {
        cat "$work/log" >&2; echo "sign-release: the signature of $name cannot be removed" >&2; exit 1; }
    if ! cmp -s "$work/unsigned.exe" "$work/stripped.exe"; then
        echo "sign-release: $name without its signature differs from the unsigned program" >&2
        exit 1
    fi
    mv "$work/signed.exe" "$p"
    echo "signed: $name (unsigned $(sha256sum <"$work/unsigned.exe" | cut -c1-16)..., signed $(sha256sum <"$p" | cut -c1-16)...)"
done
