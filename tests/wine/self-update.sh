#!/bin/bash
# A package that carries YRNUpdate.exe for the directory the tool runs from,
# under Wine on a virtual X display: the running file is replaced (the old
# bytes saved and moved aside), a rollback started from the new file brings
# the old bytes back the same way, and each start removes what an earlier
# run moved aside.
#   self-update.sh BUILD_DIR WINEPREFIX
. "$(dirname "$0")/display.sh"
rm -rf "$c/TOVR" "$c/self" && mkdir -p "$c/self/tool" "$c/self/cwd"
cwd=$c/self/cwd log=$c/self/cwd/YRNUpdate.log tool=$c/self/tool/YRNUpdate.exe old=$build/YRNUpdate.exe
# The new release: the same program with other bytes (data after the image).
cp "$old" "$tool"; package "$c/self/pkg" self-update.ini YRNUpdate.exe=@"$old"; printf 'new release' >>"$c/self/pkg/YRNUpdate.exe"
# The log line of a replacement of the running file by FROM, and what lies
# beside it now.
replaced() { printf 'Файл C:\\self\\tool\\YRNUpdate.exe (версия 1.0.0.0)  заменен на %s (версия 1.0.0.0) \r' "$1"; }
asides() { (cd "$c/self/tool" && ls -A | grep -v '^YRNUpdate\.exe$' || true); }

start 'C:\self\tool\YRNUpdate.exe' 0 'C:\self\pkg' 0
wait_log 'Обновление исполняемых файлов завершено.'
close_progress 'Обновление ЮКСВЕЛ'
set_name=$(ls "$c/TOVR/UPDATE/OldFiles")
cmp -s "$c/self/pkg/YRNUpdate.exe" "$tool" && cmp -s "$old" "$c/TOVR/UPDATE/OldFiles/$set_name/YRNUpdate.exe" ||
    fail "the new bytes are not in place or the saved copy is not the old file"
wait_log "$(replaced 'C:\self\pkg\YRNUpdate.exe')"
in_log 'Сбой' && fail "a failure in the log"
registry | grep -q 'UpdateVersion    REG_DWORD    0x2' || fail "UpdateVersion not recorded"
[ "$(asides)" = "YRNUpdate.exe.1.~old" ] && cmp -s "$old" "$tool.1.~old" || fail "moved aside: [$(asides)]"
pass "the running file replaced"

# Started again from the new file by a person ("Откат", then Enter in the
# backup dialog): the old file moved aside is removed at once; the rollback
# then moves the running new file aside in its turn.
start 'C:\self\tool\YRNUpdate.exe'
activate "$(wait_window 'Обновление ЮКСВЕЛ' 375x245)" 20 130
xdotool key shift+Tab space
activate "$(wait_window 'Откат обновления' 285x243)" 12 30
xdotool key Return
wait_log 'Замена исполняемых файлов завершена.'
close_progress 'Откат обновления ЮКСВЕЛ'
cmp -s "$old" "$tool" || fail "the rollback did not bring the old bytes back"
wait_log "$(replaced "C:\\TOVR\\UPDATE\\OldFiles\\$set_name\\YRNUpdate.exe")"
[ "$(asides)" = "YRNUpdate.exe.1.~old" ] && cmp -s "$c/self/pkg/YRNUpdate.exe" "$tool.1.~old" ||
    fail "moved aside after the rollback: [$(asides)]"
pass "the rollback of the running file"
