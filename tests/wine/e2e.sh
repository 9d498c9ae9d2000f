#!/bin/bash
# End to end: YRNUpdate.exe under Wine on a virtual X display, started as the
# suite starts it (process id, quoted package directory, installation type).
# The progress window finishes the run, Enter closes it, the queued program
# starts; log, installation, backup set, local copy and registry are compared
# byte for byte. Then a start with a bad process id: only the failure box.
#   e2e.sh BUILD_DIR WINEPREFIX
. "$(dirname "$0")/display.sh"
dwords UpdateVersion=11 Marker.exe=4 Old.exe=2
fresh e2e
bin="$c/TOVR/Bin Dir" started=$bin/started.txt
mkdir -p "$bin" "$c/TOVR/DB"
# The installed Marker.exe, with the product's version; Bin.exe is what a
# start of the path's prefix "C:\TOVR\Bin" would run.
cp "$build/YRNUpdate.exe" "$bin/Marker.exe"
cp "$build/yrn_marker.exe" "$c/TOVR/Bin.exe"
package "$c/e2e/Pack Q" e2e.ini Marker.exe=@"$build/yrn_marker.exe" 'Prices.dll=new prices\r\n' Old.exe=old Skip.dll=skip

# Through CreateProcess with this command line verbatim: the quoted package
# directory ends in a backslash. Process 0 is never waited for.
start "$build/yrn_launch.exe" "\"Z:${build//\//\\}\\YRNUpdate.exe\" 0 \"C:\\e2e\\Pack Q\\\" 0"
updated progress
until_ test -s "$started" || :
got=$(iconv -f UTF-16LE -t UTF-8 "$started" 2>/dev/null || true)
[ "$got" = '"C:\TOVR\Bin Dir\Marker.exe" /silent Пуск' ] || fail "[$got]"

log_is e2e-log.txt
# Every file of the installation, the backup set's name made SET.
set=$oldfiles/$(ls "$oldfiles")
find "$c/TOVR" -type f -printf '%P\n' | sed -E 's|/[0-9]{2}(-[0-9]{2}){2} [0-9]{2}-[0-9]{2}/|/SET/|' | sort | same e2e-tree.txt
cmp -s "$build/yrn_marker.exe" "$bin/Marker.exe" && cmp -s "$c/e2e/Pack Q/Prices.dll" "$c/TOVR/DB/Prices.dll" &&
    cmp -s "$build/YRNUpdate.exe" "$set/Marker.exe" || fail
same e2e-backup.ini to1251 <"$set/BackUp.ini"
same e2e-localcopy.ini to1251 <"${set/OldFiles/NewFiles}/YRNUpdate.ini"
registry_is e2e-registry.txt
pass "update through CreateProcess"

# A bad process id: the start-up failure box, no owner; nothing logged or
# started after it.
rm -f "$started"
start "$build/YRNUpdate.exe" abc 'C:\e2e\Pack Q' 0
box=$(wait_window 'YRN Update')
sleep 0.5
activate "$box" 10 40
xdotool key Return
wait_exit
sleep 0.5
[ -e "$log" ] || [ -e "$started" ] && fail
pass "start-up failure box"

# The result a run records: a file that fails (its place taken by a
# directory) ends it with 1; a SHA256 that is no digest refuses the package: 3.
package "$c/e2e/Failing" e2e-failing.ini A.dll=a
mkdir "$c/e2e/A.dll"
# RESULT CLOSE...: a run of that package, ended by the step CLOSE..., records RESULT.
result() {
    start "$build/YRNUpdate.exe" 0 'C:\e2e\Failing' 0
    "${@:2}"
    registry | grep -qx "    LastRunResult    REG_DWORD    0x$1" || fail
    pass "result $1"
}
result 1 updated
printf 'SHA256=x\r\n' >>"$c/e2e/Failing/YRNUpdate.ini"
result 3 close_progress "$params" 'Сбой при обновлении исполняемых файлов ЮКСВЕЛ.'
