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
# The new release: the same program with other bytes (data after the image).
install -D "$old" "$tool"
package "$c/self/pkg" self-update.ini YRNUpdate.exe=@"$old"
printf 'new release' >>"$new"
# The tool's directory holds the running file and, beside it, only its old
# bytes (ARG), moved aside once.
aside_is() { [ "$(ls -A "${tool%/*}")" = $'YRNUpdate.exe\nYRNUpdate.exe.1.~old' ] && cmp -s "$1" "$tool.1.~old" || fail "moved aside: [$(ls -A "${tool%/*}")]"; }

start 'C:\self\tool\YRNUpdate.exe' 0 'C:\self\pkg' 0
updated
set=$oldfiles/$(ls "$oldfiles")
cmp -s "$new" "$tool" && cmp -s "$old" "$set/YRNUpdate.exe" || fail
log_is self-update-log.txt
registry_is self-update-registry.txt
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
log_is self-update-rollback-log.txt
aside_is "$new"
pass "the rollback of the running file"
