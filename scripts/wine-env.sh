# Sourced by the scripts: a private Wine prefix and a display of our own.
# Sets WINE_RUN (the loader for the chosen build) and PRESET_RUN (the build
# whose programs run here).

# 32-bit Wine needs the kernel's 32-bit emulation; some kernels boot with it
# off. The same sources then run as a 64-bit build under the 64-bit loader.
if wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    PRESET_RUN=win32
    WINE_RUN=wine
else
    PRESET_RUN=win64
    WINE_RUN=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
fi

export WINEPREFIX="$ROOT/build/wineprefix-$PRESET_RUN"
export WINEDEBUG=-all
# winedbg disabled: a crash ends the process instead of waiting on a debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# The page-file-backed section is a file in wineserver's folder under TMPDIR:
# on a tmpfs its 1280 MiB cost about a second instead of several.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm/preloader-$$
    mkdir -p "$TMPDIR"
fi

XVFB_PID=
start_display() {
    if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "own" ]; then
        return
    fi
    local n
    for n in $(seq 90 130); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=:$n
        for _ in $(seq 50); do
            [ -e /tmp/.X11-unix/X$n ] && return
            sleep 0.1
        done
    done
    echo "no display could be started" >&2
    return 1
}

# The first Wine process starts Wine's services; start them here, detached
# from any output pipe a test runner would wait on.
start_wine() {
    mkdir -p "$WINEPREFIX"
    "$WINE_RUN" wineboot -u </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1 || true
}

stop_wine_and_display() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    [ -n "${TMPDIR:-}" ] && case "$TMPDIR" in /dev/shm/preloader-*) rm -rf "$TMPDIR" ;; esac
    return 0
}
