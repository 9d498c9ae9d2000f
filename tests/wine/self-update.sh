#!/bin/bash
# A package that carries YRNUpdate.exe for the directory the tool runs from,
# under Wine on a virtual X display: the running file is replaced (the old
# bytes saved and moved aside), a rollback started from the new file brings
# the old bytes back the same way, and each start removes what an earlier
# run moved aside.
#   self-update.sh BUILD_DIR WINEPREFIX
. "$(dirname "$0")/display.sh"
fresh self
tool=$c/self/tool/YRNUpdate.exe old=$build/YRNUpdate.exe new=$c/self/pkg/YRNUpdate.exe
mkdir -p "$c/self/tool"
# The new release: the same program with other bytes (data after the image).
cp "$old" "$tool"
package "$c/self/pkg" self-update.ini YRNUpdate.exe=@"$old"
printf 'new release' >>"$new"
# The log line of a replacement of the running file by FROM; what lies
# beside the running file is only its old bytes, moved aside once.
replaced() { wait_log "$(printf 'Файл C:\\self\\tool\\YRNUpdate.exe (версия 1.0.0.0)  заменен на %s (версия 1.0.0.0) \r' "$1")"; }
asides() { (cd "$c/self/tool" && ls -A | grep -v '^YRNUpdate\.exe$' || true); }
aside_is() { [ "$(asides)" = "YRNUpdate.exe.1.~old" ] && cmp -s "$1" "$tool.1.~old" || fail "moved aside: [$(asides)]"; }

start 'C:\self\tool\YRNUpdate.exe' 0 'C:\self\pkg' 0
updated
set=$c/TOVR/UPDATE/OldFiles/$(ls "$c/TOVR/UPDATE/OldFiles")
cmp -s "$new" "$tool" && cmp -s "$old" "$set/YRNUpdate.exe" || fail
replaced 'C:\self\pkg\YRNUpdate.exe'
registry | grep -q 'UpdateVersion    REG_DWORD    0x2' || fail
aside_is "$old"
pass "the running file replaced"

# Started again from the new file by a person ("Откат", then Enter in the
# backup dialog): the old file moved aside is removed at once; the rollback
# then moves the running new file aside in its turn.
open_params 'C:\self\tool\YRNUpdate.exe'
xdotool key shift+Tab space
open_backup
xdotool key Return
rolled_back
cmp -s "$old" "$tool" || fail
replaced "C:\\TOVR\\UPDATE\\OldFiles\\${set##*/}\\YRNUpdate.exe"
aside_is "$new"
pass "the rollback of the running file"
