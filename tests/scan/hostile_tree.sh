#!/usr/bin/env bash
# hostile_tree.sh BUILD_DIR TEST_EXE
# Host side of the hostile-tree test: builds, inside the prefix's C: drive,
# a folder tree that only the Unix side can make (names Windows forbids,
# invalid text, 255-byte names, paths of thousands of bytes, folder links
# that lead back up, a dangling link, a named pipe), runs the walk test on it
# and requires every file of the tree to be unchanged afterwards.
set -euo pipefail
build=$(cd "$1" && pwd)
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix="$build/wine/prefix"
tree="$prefix/drive_c/scx-hostile-tree"
work="$build/hostile-tree"
[ -f "$prefix/.scourix-ready" ] || { echo "no prefix in $prefix" >&2; exit 1; }

cleanup() { rm -rf "$tree"; }
trap cleanup EXIT
rm -rf "$tree" "$work"
mkdir -p "$tree" "$work"

filler() { head -c "$2" /dev/zero | tr '\0' 'k' >"$1"; }
mkdir -p "$tree/names"
for name in 'back\slash.exe' 'star*.exe' 'colon:name.exe' 'q?.exe' 'pipe|.exe' 'lt<gt>.exe' \
            'quote".exe' 'trailing.dot.' 'trailing space ' $'ctl\001.exe' $'bad\xff\xfe.exe' \
            "$(printf 'n%.0s' $(seq 1 251)).exe" 'CON' 'nul.txt' 'AUX.exe'; do
    filler "$tree/names/$name" 8425
    mkdir -p "$tree/names/dir-$name" 2>/dev/null || true
    [ -d "$tree/names/dir-$name" ] && filler "$tree/names/dir-$name/inner.exe" 8425
done
# Paths far beyond any Windows limit: 16 levels of 200-byte names.
deep="$tree/deep"
for i in $(seq 1 16); do
    deep="$deep/$(printf "$i%.0s" $(seq 1 200) | head -c 200)"
    mkdir -p "$deep"
    filler "$deep/f.exe" 8425
done
# Links back up the tree: one, and two in one folder (each level doubles).
mkdir -p "$tree/loop1" "$tree/loop2"
ln -s . "$tree/loop1/self"
ln -s .. "$tree/loop2/up"
ln -s . "$tree/loop2/a"
ln -s . "$tree/loop2/b"
# Shown once when the links are left out, thousands of times when followed.
filler "$tree/loop2/once.txt" 10
ln -s does-not-exist "$tree/dangling.exe"
mkfifo "$tree/pipe.exe"
# Exactly the length of a record, all zeros, sparse.
truncate -s 3666432 "$tree/sparse.exe"
truncate -s 8425 "$tree/zeros.exe"

manifest() { (cd "$tree" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum) ; }
manifest >"$work/before"
echo "hostile tree: $(find "$tree" | wc -l) entries (links not followed)"

rc=0
SCX_HOSTILE_TREE='C:\scx-hostile-tree' "$here/../../tools/wine-run.sh" "$exe" --gtest_filter='HostileTree.*' || rc=$?

manifest >"$work/after"
if ! diff "$work/before" "$work/after" >"$work/diff"; then
    echo "files of the hostile tree changed:" >&2
    head -20 "$work/diff" >&2
    rc=1
fi
for p in "$tree/pipe.exe" "$tree/dangling.exe" "$tree/loop1/self" "$tree/loop2/a"; do
    [ -e "$p" ] || [ -L "$p" ] || { echo "gone: $p" >&2; rc=1; }
done
exit $rc
