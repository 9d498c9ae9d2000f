#!/usr/bin/env bash
# YRNUpdate.exe is built reproducibly: the checkout's files, copied into two
# directories of different names and depths, give the same release exe byte
# for byte, and neither build's path shows in it. The rest of the release
# (zip, deb) is checked the same way with FULL=1.
set -euo pipefail
cd "$(dirname "$0")/.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
tmp=$(mktemp -d)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$tmp"' EXIT
one=$tmp/one
two=$tmp/another/copy-two
fail() { echo "check-reproducible: FAIL: $*" >&2; exit 1; }

args=(--exe)
[ "${FULL:-0}" = 1 ] && args=()
for dir in "$one" "$two"; do
    mkdir -p "$dir"
    git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$dir"
done
for dir in "$one" "$two"; do
    echo "== release build in $dir"
    bash "$dir/scripts/release.sh" "${args[@]}" >"$dir.out" 2>&1 || { cat "$dir.out"; fail "release.sh failed in $dir"; }
done

files=(build-release-win32/YRNUpdate.exe)
[ "${FULL:-0}" = 1 ] && files+=($(cd "$one" && ls dist/*))
differ=0
for f in "${files[@]}"; do
    if ! cmp "$one/$f" "$two/$f"; then
        echo "check-reproducible: $f differs between the two builds" >&2
        differ=1
        continue
    fi
    for dir in "$one" "$two"; do
        strings -a "$one/$f" | grep -qF "$dir" && fail "$f holds the build path $dir"
    done
    echo "check-reproducible: $f identical ($(sha256sum <"$one/$f" | cut -c1-16)...)"
done
[ "$differ" = 0 ] || fail "the builds differ (KEEP=1 keeps them in $tmp)"
echo "check-reproducible: passed"
