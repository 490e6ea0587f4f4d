#!/usr/bin/env bash
# The whole job on a demo game folder: builds, makes the folder (a generated
# client_gamelogic.dat and a stand-in launcher that opens the game window
# after a few seconds), runs preloader.exe in it under Wine, prints each step
# as the progress window shows it, and saves screenshots of each step.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
DATA_MIB=${DATA_MIB:-300}
SHOTS=${SHOTS:-$ROOT/build/demo}

bash scripts/deps.sh
source scripts/wine-env.sh
source scripts/watch-and-shoot.sh
export WINEPREFIX="$ROOT/build/wineprefix-demo-$PRESET_RUN"
trap stop_wine_and_display EXIT

cmake --preset "$PRESET_RUN" >/dev/null
cmake --build --preset "$PRESET_RUN" -j2 --target preloader standin_launcher watch_run >/dev/null
[ "$PRESET_RUN" = win32 ] || echo "(this kernel runs no 32-bit programs: the demo runs the 64-bit build of the same sources)"

BIN="$ROOT/build/$PRESET_RUN/bin"
GAME="$ROOT/build/demo/game"
mkdir -p "$GAME" "$SHOTS"
cp "$BIN/preloader.exe" "$BIN/watch_run.exe" "$GAME/"
cp "$BIN/standin_launcher.exe" "$GAME/TurbineLauncher.exe"
rm -f "$GAME/launcher_args.txt" "$GAME/launcher_pid.txt" "$SHOTS"/progress-*.png
if [ "$(stat -c %s "$GAME/client_gamelogic.dat" 2>/dev/null || echo 0)" != $((DATA_MIB * 1048576)) ]; then
    echo "making a $DATA_MIB MiB client_gamelogic.dat"
    head -c $((DATA_MIB * 1048576)) /dev/urandom >"$GAME/client_gamelogic.dat"
fi

start_display
start_wine
use_virtual_desktop
export STANDIN_WINDOW_MS=4000 STANDIN_LIFETIME_MS=60000
watch_and_shoot "$GAME" "$SHOTS" "step: Initializing memory:progress-memory" \
    "step: Reading files:progress-reading" "step: Launching the game:progress-launching"
# The stand-in launcher goes on running, as the real one would; end it here.
wineserver -k >/dev/null 2>&1 || true
echo "screenshots: $(ls "$SHOTS"/progress-*.png 2>/dev/null | tr '\n' ' ')"
echo "preloader.exe exit code: $RUN_CODE"
exit "$RUN_CODE"
