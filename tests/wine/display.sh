# Sourced by the end-to-end scripts (SCRIPT BUILD_DIR WINEPREFIX): a virtual
# X display of its own with a Wine server drawing on it, the tool's registry
# keys removed, and the steps the scripts share. Expected bytes live in
# golden/, UTF-8 with LF; files the tool writes are 1251 with CR LF.
set -euo pipefail
export LC_ALL=C.UTF-8 WINEPREFIX=$(realpath -m "$2")
name=$(basename "$0" .sh) build=$(cd "$1" && pwd) here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/loader.sh"
version=$(sed -n 's/^#define YRN_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/yrn_version.h")
artifacts=$build/artifacts c=$WINEPREFIX/drive_c oldfiles=$c/TOVR/UPDATE/OldFiles key='HKLM\Software\Quenbrit\YRN\Update' app= screen=$artifacts/$name.display
mkdir -p "$artifacts"
# A failure names the lines of the calls that led to it, innermost first.
fail() { echo "$name: FAIL at lines ${BASH_LINENO[*]}: $*" >&2; exit 1; }
pass() { echo "$name: ok: $*"; }
to1251() { iconv -f UTF-8 -t CP1251 | sed 's/$/\r/'; }
registry() { reg query "${1:-$key}" | tr -d '\r'; }
# Stores NAME=NUMBER... in the tool's key.
dwords() { for v; do reg add "$key" /v "${v%=*}" /t REG_DWORD /d "${v#*=}" /f >/dev/null; done; }
# Runs COMMAND until it succeeds, for 30 s at most.
until_() { for _ in $(seq 300); do "$@" && return; sleep 0.1; done; return 1; }

# Xvfb picks a free display and names it in $screen once it is ready (a file
# the redirection empties first).
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$screen" &>/dev/null &
xvfb=$!
# On the way out the program and the display end.
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
until_ test -s "$screen" || true
export DISPLAY=:$(<"$screen")
[ "$DISPLAY" != : ] || fail "no X display"
# Wine's desktop process belongs to a server: one started without this
# display (by the unit tests) would leave the program without windows.
wineserver -k 2>/dev/null || true
wineserver -w
"$here/wine-run.sh" "$WINEPREFIX" cmd /c exit 0 >/dev/null
# No window manager: Wine draws the frames and moves the focus itself.
for v in Decorated Managed; do reg add 'HKCU\Software\Wine\X11 Driver' /v $v /t REG_SZ /d N /f >/dev/null; done
for k in HKLM HKCU; do reg delete "$k\\Software\\Quenbrit" /f &>/dev/null || true; done

# C:\DIR afresh with C:\DIR\cwd, where the program starts and logs, and no
# installation in C:\TOVR.
fresh() {
    rm -rf "$c/TOVR" "$c/$1"
    cwd=$c/$1/cwd log=$cwd/YRNUpdate.log
    mkdir -p "$cwd"
}
# A package in DIR: its manifest from golden/MANIFEST, then files given as
# NAME=TEXT (printf escapes) or NAME=@SOURCE (a copy).
package() {
    local dir=$1 f
    mkdir -p "$dir"
    to1251 <"$here/golden/$2" >"$dir/YRNUpdate.ini"
    shift 2
    for f; do if [[ ${f#*=} == @* ]]; then cat "${f#*=@}"; else printf "${f#*=}"; fi >"$dir/${f%%=*}"; done
}
# Starts PROGRAM ARGS in $cwd, without the log of an earlier start.
start() { rm -f "$log"; (cd "$cwd" && exec "$wine_loader" "$@" </dev/null &>/dev/null) & app=$!; }
# The program's visible top-level window with this caption (and outer size:
# client area plus Wine's frame, 3 each side, and caption, 19); fails when
# there is none.
find_window() {
    for w in $(xdotool search --onlyvisible --classname '^yrnupdate\.exe$' 2>/dev/null); do
        xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qxF "_NET_WM_NAME(UTF8_STRING) = \"$1\"" &&
            xdotool getwindowgeometry "$w" | grep -qx " *Geometry: ${2:-.*}" && echo "$w" && return
    done
    return 1
}
wait_window() { until_ find_window "$@" || fail "no window [$1] ${2:-}"; }
# There is no window manager: a click on a place without a control (X Y
# inside the frame) makes the window the active one.
activate() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.5; }
# The dialogs of a start by a person: parameters (started from PROGRAM,
# YRNUpdate.exe of the build by default), then backup sets.
params='Обновление ЮКСВЕЛ'
open_params() { start "${1:-$build/YRNUpdate.exe}"; activate "$(wait_window "$params" 375x245)" 20 130; }
open_backup() { activate "$(wait_window 'Откат обновления' 285x243)" 12 30; }
# The program's end (a failure when it still runs after 30 s).
ended() { ! kill -0 "$app" 2>/dev/null; }
wait_exit() {
    until_ ended || fail "still running"
    wait "$app" || fail "exit status $?"
    app=
}
wait_log() { until_ grep -sqF "$(iconv -f UTF-8 -t CP1251 <<<"$1")" "$log" || fail "no log line [$1]"; }
# Ends a run once its log says so: Enter in the progress window (activated
# first, then its screenshot SHOT taken when given) closes it.
close_progress() {
    wait_log "$2"
    activate "$(wait_window "$1" 277x366)" 130 150
    [ -z "${3:-}" ] || import -window root "$artifacts/$3.png"
    xdotool key Return
    wait_exit
}
updated() { close_progress "$params" 'Обновление исполняемых файлов завершено.' "$@"; }
rolled_back() { close_progress 'Откат обновления ЮКСВЕЛ' 'Замена исполняемых файлов завершена.' "$@"; }
# The run log as golden/GOLDEN, its time stamps made <time> and backup set
# names SET.
log_is() {
    sed -E 's/^[0-3][0-9]\.[01][0-9] [0-2][0-9](:[0-5][0-9]){2} /<time> /; s/[0-9]{2}(-[0-9]{2}){2} [0-9]{2}-[0-9]{2}/SET/' "$log" | same "$1" to1251
}
# The tool's key as golden/GOLDEN, the time of the last run made <time>.
registry_is() {
    registry | sed -E 's/(LastRunTime    REG_SZ    )[0-9]{4}(-[0-9]{2}){2} [0-9]{2}(:[0-9]{2}){2}$/\1<time>/' | same "$1"
}
# Standard input byte for byte against golden/GOLDEN (@VERSION@ the product's
# version), passed through FILTER when given (to1251: 1251 and CR LF); both
# are left in the artifacts.
#   same GOLDEN [FILTER]
same() {
    local expected=$artifacts/$name-$1
    cat >"$expected.actual"
    sed "s/@VERSION@/$version/g" "$here/golden/$1" | ${2:-cat} >"$expected"
    cmp "$expected" "$expected.actual" || fail "$1 differs"
}
