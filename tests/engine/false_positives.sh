#!/usr/bin/env bash
# false_positives.sh BUILD_DIR TEST_EXE
# Host side of the false-positive test: copies every PE file that Wine
# installs into the build folder's prefix, maps the copy as drive P:
# (a dosdevices link inside the prefix), runs the whole-scan test, removes the
# mapping and requires every file of the copy and of the prefix's C: drive to
# be unchanged. The host's own files are only ever read.
set -euo pipefail
build=$(cd "$1" && pwd)
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix="$build/wine/prefix"
corpus="$prefix/scx-clean-corpus"
letter=p
link="$prefix/dosdevices/$letter:"
work="$build/false-positives"
sources=(/usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

[ -f "$prefix/.scourix-ready" ] || { echo "no prefix in $prefix" >&2; exit 1; }
# A mapping left by an interrupted run is ours to remove; any other is not.
if [ -L "$link" ] && [ "$(readlink "$link")" = ../scx-clean-corpus ]; then
    rm -f "$link"
fi
if [ -e "$link" ] || [ -L "$link" ]; then
    echo "drive $letter: is already in use in the prefix" >&2
    exit 1
fi

cleanup() {
    rm -f "$link"
    chmod -R u+w "$corpus" 2>/dev/null || true
    rm -rf "$corpus"
}
trap cleanup EXIT
chmod -R u+w "$corpus" 2>/dev/null || true
rm -rf "$corpus" "$work"
mkdir -p "$corpus" "$work"

# As root a hard link would let a faulty attribute change or write reach the
# host's file through the shared inode, so root gets a real copy.
for src in "${sources[@]}"; do
    [ -d "$src" ] || continue
    dest="$corpus/$(basename "$src")"
    if [ "$(id -u)" -ne 0 ] && cp -al "$src" "$dest" 2>/dev/null; then
        :
    else
        rm -rf "$dest"
        cp -a "$src" "$dest"
        chmod -R a-w "$dest" # a read-only drive, as far as Windows can tell
    fi
done
corpus_files=$(find "$corpus" -type f | wc -l)
c_files=$(find "$prefix/drive_c" -path "$prefix/drive_c/scratch" -prune -o -type f -print | wc -l)
echo "clean corpus: $corpus_files files copied from Wine's PE folders; C: holds $c_files files"
[ "$corpus_files" -gt 1000 ] || { echo "too few clean files: $corpus_files" >&2; exit 1; }

manifest() {
    # Scratch folders come and go with each test run; everything else counts.
    (cd "$1" && find . -path ./scratch -prune -o -type f -print0 | sort -z | xargs -0 -P2 -n200 sha256sum | sort -k2)
}
manifest "$corpus" >"$work/corpus.before"
manifest "$prefix/drive_c" >"$work/c.before"

ln -s ../scx-clean-corpus "$link"
rc=0
SCX_CLEAN_DRIVE="P:" "$here/../../tools/wine-run.sh" "$exe" --gtest_filter='CleanDrives.*' || rc=$?
rm -f "$link"

manifest "$corpus" >"$work/corpus.after"
manifest "$prefix/drive_c" >"$work/c.after"
if ! diff "$work/corpus.before" "$work/corpus.after" >"$work/corpus.diff"; then
    echo "files of the clean corpus changed:" >&2
    head -20 "$work/corpus.diff" >&2
    rc=1
fi
if ! diff "$work/c.before" "$work/c.after" >"$work/c.diff"; then
    echo "files on C: changed:" >&2
    head -20 "$work/c.diff" >&2
    rc=1
fi
[ "$rc" -ne 0 ] || echo "unchanged: $corpus_files clean corpus files and $c_files files on C:"
exit $rc
