#!/usr/bin/env bash
# false_positives.sh BUILD_DIR TEST_EXE
# Host side of the false-positive test. In a throwaway copy of the build's
# prefix, every folder of PE files that Wine installs is mounted read-only
# (in a private mount namespace that ends with the test) and mapped as drive
# P:. The whole-scan test then runs over P: and the copy's C: drive, and
# every file of both must be unchanged afterwards. The host's files can only
# ever be read: the mount refuses any write, whoever asks.
set -uo pipefail
build=$(cd "$1" && pwd)
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
tools="$here/../../tools"
sources=(/usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

. "$here/../support/prefix-clone.sh"
scx_clone false-positives

corpus="$clone/scx-clean-corpus"
mounts=()
for src in "${sources[@]}"; do
    [ -d "$src" ] || continue
    mkdir -p "$corpus/$(basename "$src")"
    mounts+=("$src" "$corpus/$(basename "$src")")
done
ln -s ../scx-clean-corpus "$clone/dosdevices/p:"

manifest() {
    # Scratch folders come and go with each run; everything else counts.
    (cd "$1" && find . -path ./scratch -prune -o -type f -print0 | sort -z |
        xargs -0 -P2 -n200 sha256sum | sort -k2)
}
{ for src in "${sources[@]}"; do [ -d "$src" ] && manifest "$src"; done; } >"$clone/corpus.before"
manifest "$clone/drive_c" >"$clone/c.before"
corpus_files=$(wc -l <"$clone/corpus.before")
c_files=$(wc -l <"$clone/c.before")
echo "clean corpus: $corpus_files files in Wine's PE folders, mounted read-only; C: holds $c_files files"
[ "$corpus_files" -gt 1000 ] || fail "too few clean files: $corpus_files"

scratch="$clone/drive_c/scratch/fp"
mkdir -p "$scratch"
cp "$exe" "$scratch/clean_scan.exe"
cd "$scratch"

run=$(cat <<'EOF'
set -u
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    mount --bind "$1" "$2" && mount -o remount,bind,ro "$2" || exit 97
    touch "$2/scx-write-probe" 2>/dev/null && exit 96 # not read-only after all
    shift 2
done
shift
"$@"; rc=$?
wineserver -k >/dev/null 2>&1 </dev/null; wineserver -w >/dev/null 2>&1 </dev/null
exit $rc
EOF
)
out="$build/wine/false-positives-$$.out"
unshare -m --propagation private bash -c "$run" mounts "${mounts[@]}" -- \
    env SCX_CLEAN_DRIVE="P:" SCX_SCRATCH='C:\scratch\fp' SCX_SCRATCH_UNIX="$scratch" \
    timeout 1500 wine 'C:\scratch\fp\clean_scan.exe' --gtest_filter='CleanDrives.*' >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
[ $rc -ne 97 ] || fail "could not mount Wine's folders read-only"
[ $rc -ne 96 ] || fail "the read-only mount took a write"
rm -rf "$scratch"

{ for src in "${sources[@]}"; do [ -d "$src" ] && manifest "$src"; done; } >"$clone/corpus.after"
manifest "$clone/drive_c" >"$clone/c.after"
if ! diff "$clone/corpus.before" "$clone/corpus.after" >"$clone/corpus.diff"; then
    echo "files of the clean corpus changed:" >&2
    head -20 "$clone/corpus.diff" >&2
    rc=1
fi
if ! diff "$clone/c.before" "$clone/c.after" >"$clone/c.diff"; then
    echo "files on C: changed:" >&2
    head -20 "$clone/c.diff" >&2
    rc=1
fi
[ "$rc" -ne 0 ] || echo "unchanged: $corpus_files clean corpus files and $c_files files on C:"
exit $rc
