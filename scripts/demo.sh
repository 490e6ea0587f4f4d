#!/usr/bin/env bash
# The whole job on a demo game folder: builds, makes the folder (a generated
# client_gamelogic.dat and a stand-in launcher that opens the game window
# after a few seconds), runs preloader.exe in it under Wine, prints each step
# as the progress window shows it, and saves screenshots.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
DATA_MIB=${DATA_MIB:-300}

bash scripts/deps.sh
source scripts/wine-env.sh
export WINEPREFIX="$ROOT/build/wineprefix-demo-$PRESET_RUN"
trap stop_wine_and_display EXIT

cmake --preset "$PRESET_RUN" >/dev/null
cmake --build --preset "$PRESET_RUN" -j2 --target preloader standin_launcher watch_run >/dev/null
[ "$PRESET_RUN" = win32 ] || echo "(this kernel runs no 32-bit programs: the demo runs the 64-bit build of the same sources)"

BIN="$ROOT/build/$PRESET_RUN/bin"
GAME="$ROOT/build/demo/game"
SHOTS="$ROOT/build/demo"
mkdir -p "$GAME"
cp "$BIN/preloader.exe" "$BIN/watch_run.exe" "$GAME/"
cp "$BIN/standin_launcher.exe" "$GAME/TurbineLauncher.exe"
rm -f "$GAME/launcher_args.txt" "$GAME/launcher_pid.txt" "$SHOTS"/*.png
if [ "$(stat -c %s "$GAME/client_gamelogic.dat" 2>/dev/null || echo 0)" != $((DATA_MIB * 1048576)) ]; then
    echo "making a $DATA_MIB MiB client_gamelogic.dat"
    head -c $((DATA_MIB * 1048576)) /dev/urandom >"$GAME/client_gamelogic.dat"
fi

start_display
start_wine
# A virtual desktop: Wine draws the window frames itself, as a player sees them.
"$WINE_RUN" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$WINE_RUN" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x240 /f >/dev/null 2>&1
# The desktop mode is read when Wine's services start: start them again.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
start_wine

export STANDIN_WINDOW_MS=4000 STANDIN_LIFETIME_MS=60000
LOG="$SHOTS/run.log"
(cd "$GAME" && "$WINE_RUN" watch_run.exe) >"$LOG" 2>/dev/null &
RUN=$!
shown=0
while kill -0 $RUN 2>/dev/null; do
    n=$(wc -l <"$LOG")
    if [ "$n" -gt "$shown" ]; then
        sed -n "$((shown + 1)),${n}p" "$LOG"
        shown=$n
    fi
    for step in "Initializing memory:memory" "Reading files:reading" "Launching the game:launching"; do
        shot="$SHOTS/progress-${step#*:}.png"
        if [ ! -e "$shot" ] && grep -q "step: ${step%%:*}" "$LOG"; then
            sleep 0.5
            import -display "$DISPLAY" -window root -crop 640x240+0+0 +repage "$shot" 2>/dev/null || true
        fi
    done
    sleep 0.1
done
wait $RUN && code=0 || code=$?
sed -n "$((shown + 1)),\$p" "$LOG"
# The stand-in launcher goes on running, as the real one would; end it here.
wineserver -k >/dev/null 2>&1 || true
echo "screenshots: $(ls "$SHOTS"/*.png 2>/dev/null | tr '\n' ' ')"
echo "preloader.exe exit code: $code"
exit "$code"
