# Sourced by the Wine scripts: Wine's environment (WINEARCH win32, the
# default, or win64; no Mono or Gecko prompts). `wine` runs a program with
# the loader of that width (Debian's wine command always takes the 32-bit
# loader when it is installed, even where the kernel cannot execute it);
# `reg` reads and writes the 32-bit view of the registry, where the program
# keeps its keys.
export WINEARCH=${WINEARCH:-win32} WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=mscoree,mshtml=
wine_loader=wine reg_view=()
if [ "$WINEARCH" = win64 ]; then
    wine_loader=$(command -v wine64 || echo /usr/lib/wine/wine64) reg_view=(/reg:32)
    export WINELOADER=$wine_loader
fi
wine() { command "$wine_loader" "$@"; }
reg() { wine reg "$@" "${reg_view[@]}"; }
