#!/usr/bin/env bash
# A minute's look at what the tool does: a sample installed suite and a
# sample package in a throw-away prefix, an unattended update, then the log,
# the backup set, the local copy and the registry.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/yrnupdate ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target yrnupdate
fi
tool="$PWD/build/yrnupdate"
root="$(mktemp -d /tmp/yrn-demo-XXXXXX)"
export YRN_ROOT="$root"
to1251() { iconv -f UTF-8 -t CP1251; }

mkdir -p "$root/c/TOVR/DB" "$root/d/Pack" "$root/work"
printf 'old shift' > "$root/c/TOVR/Shift.exe"
printf 'old prices' > "$root/c/TOVR/DB/Prices.dll"
printf 'new shift' > "$root/d/Pack/Shift.exe"
printf 'new prices' > "$root/d/Pack/Prices.dll"
printf '[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nPrices.dll=\r\n[Shift.exe]\r\nSDir=<default>\r\nCDir=<default>\r\nMDir=<НЕ НУЖНО>\r\nVersion=5\r\n[Prices.dll]\r\nSDir=<DB>\r\nCDir=<БАЗА ДАННЫХ>\r\nVersion=3\r\n' \
    | to1251 > "$root/d/Pack/YRNUpdate.ini"

echo "== prefix: $root  (C:\\ is $root/c)"
echo "== running: yrnupdate 0 'D:\\Pack' 1   (client installation)"
(cd "$root/work" && "$tool" 0 'D:\Pack' 1 </dev/null)
echo
echo "== YRNUpdate.log"
iconv -f CP1251 -t UTF-8 < "$root/work/YRNUpdate.log" | tr -d '\r'
echo "== backup sets"
for set in "$root"/c/TOVR/UPDATE/OldFiles/*; do
    echo "-- $(basename "$set"): $(ls "$set" | tr '\n' ' ')"
    iconv -f CP1251 -t UTF-8 < "$set/BackUp.ini" | tr -d '\r'
done
echo "== local copy manifest"
iconv -f CP1251 -t UTF-8 < "$root"/c/TOVR/UPDATE/NewFiles/*/YRNUpdate.ini | tr -d '\r'
echo "== registry ($root/registry.reg)"
iconv -f CP1251 -t UTF-8 < "$root/registry.reg" | tr -d '\r'
echo "== installed: Shift.exe = '$(cat "$root/c/TOVR/Shift.exe")', DB/Prices.dll = '$(cat "$root/c/TOVR/DB/Prices.dll")'"
