#!/usr/bin/env bash
# Cuts a release of the checked-out commit into dist/:
#   YRNUpdate-<version>-win32.zip   YRNUpdate.exe, the station guide with its
#                                   pictures, a short readme
#   yrnupdate_<version>_amd64.deb   the console tool as /usr/bin/yrnupdate, the
#                                   package tool as /usr/bin/yrnpack
#   SHA256SUMS
# Every date in them is the commit's (SOURCE_DATE_EPOCH), so two runs on the
# same commit, in any two directories, give the same bytes. Run as root it
# installs what is missing from Debian's archive first.
#   scripts/release.sh         the whole release
#   scripts/release.sh --exe   only build-release-win32/YRNUpdate.exe
# Outside a git checkout (a copy of one) SOURCE_DATE_EPOCH must be set.
set -euo pipefail
cd "$(dirname "$0")/.."
exe_only=0
[ "${1:-}" = --exe ] && exe_only=1

need=()
for pkg in cmake ninja-build g++ libssl-dev mingw-w64 zip dpkg-dev python3-markdown git; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "release: missing packages: ${need[*]} (run as root to install them)" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    git rev-parse --git-dir >/dev/null 2>&1 ||
        { echo "release: not a git checkout and SOURCE_DATE_EPOCH not set" >&2; exit 1; }
    if [ -n "$(git status --porcelain --untracked-files=no)" ] && [ "${YRN_RELEASE_DIRTY:-0}" != 1 ]; then
        echo "release: the checkout has uncommitted changes (YRN_RELEASE_DIRTY=1 to cut it anyway)" >&2
        exit 1
    fi
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
version=$(sed -n 's/^project(YRNUpdate VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }

release_build() {  # build dir, extra cmake arguments...
    local dir=$1
    shift
    rm -rf "$dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DYRN_BUILD_TESTS=OFF -DYRN_RELEASE=ON "$@" >/dev/null
    cmake --build "$dir" -j 2
}

echo "== YRNUpdate.exe $version"
release_build build-release-win32 --toolchain cmake/mingw-i686.cmake
[ "$exe_only" = 1 ] && exit 0

echo "== yrnupdate_${version}_amd64.deb"
# -O2 as in the Windows build: at -O3 GCC 12 reports false -Wrestrict overlaps
# inside libstdc++.
release_build build-release-deb "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
(cd build-release-deb && cpack -G DEB >/dev/null)

rm -rf dist
mkdir -p dist

echo "== YRNUpdate-$version-win32.zip"
# The zip holds one directory; every entry has the commit's date and a fixed
# mode, in a fixed order, without extra fields.
stage=build-release-win32/zip
name=YRNUpdate-$version-win32
rm -rf "$stage"
mkdir -p "$stage/$name/station-guide"
cp build-release-win32/YRNUpdate.exe "$stage/$name/"
cp docs/station-guide/*.png "$stage/$name/station-guide/"
# Windows' Notepad and browsers: line ends CR LF, the text files with a BOM.
bom=$'\xef\xbb\xbf'
{ printf '%s' "$bom"; sed 's/$/\r/' docs/station-guide.ru.md; } >"$stage/$name/station-guide.ru.md"
/usr/bin/python3 scripts/guide-html.py docs/station-guide.ru.md "$version" >"$stage/$name/station-guide.ru.html"
{ printf '%s' "$bom"; sed "s/@VERSION@/$version/; s/\$/\r/" docs/release-readme.ru.txt; } >"$stage/$name/README.txt"
find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$stage" && find "$name" -type f | sort | zip -q -X -D "$OLDPWD/dist/$name.zip" -@)

cp build-release-deb/yrnupdate_"${version}"_amd64.deb dist/
(cd dist && sha256sum "$name.zip" "yrnupdate_${version}_amd64.deb" >SHA256SUMS)
echo "== dist/"
cat dist/SHA256SUMS
