# Sourced by the end-to-end scripts: a virtual X display of its own and a
# Wine server that draws on it, in the prefix $WINEPREFIX, with the tool's
# registry keys removed. Sets DISPLAY; kills $app and the display on exit.
#   start_display FIRST LAST   (the display numbers to try)
start_display() {
    display=
    for n in $(seq "$1" "$2"); do
        if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
    done
    [ -n "$display" ] || fail "no free X display"
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    app=
    trap 'cleanup_display' EXIT
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    # Wine's desktop process belongs to a server: one started without this
    # display (by the unit tests) would leave the program without windows.
    wineserver -k 2>/dev/null || true
    wineserver -w
    "$here/wine-run.sh" "$WINEPREFIX" cmd /c exit 0 >/dev/null
    # No window manager: Wine draws the frames and moves the focus itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
    wine reg delete 'HKLM\Software\Quenbrit' /f >/dev/null 2>&1 || true
    wine reg delete 'HKCU\Software\Quenbrit' /f >/dev/null 2>&1 || true
}

cleanup_display() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
