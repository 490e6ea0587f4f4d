#!/usr/bin/env bash
# Regenerates the README's pictures in docs/ from the current build: the
# progress window in each step (the demo run), the error dialog (a run in a
# folder without the data file), and the icon at its sizes.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
DOCS="$ROOT/docs"
mkdir -p "$DOCS"

SHOTS="$DOCS" DATA_MIB=${DATA_MIB:-300} bash scripts/demo.sh

source scripts/wine-env.sh
source scripts/watch-and-shoot.sh
export WINEPREFIX="$ROOT/build/wineprefix-demo-$PRESET_RUN"
trap stop_wine_and_display EXIT
BIN="$ROOT/build/$PRESET_RUN/bin"
GAME="$ROOT/build/demo/no-data"
rm -rf "$GAME" "$DOCS/error-dialog.png"
mkdir -p "$GAME"
cp "$BIN/preloader.exe" "$BIN/watch_run.exe" "$GAME/"
start_display
start_wine
use_virtual_desktop
# The dialog waits for "Exit"; once it is on film, end the run.
( while [ ! -e "$DOCS/error-dialog.png" ]; do sleep 0.2; done; sleep 0.5; wineserver -k ) &
watch_and_shoot "$GAME" "$DOCS" "error dialog:error-dialog"

# The icon at each of its sizes, side by side on a light ground.
icons=$(mktemp -d)
icotool -x "$ROOT/res/app.ico" -o "$icons"
montage $(ls "$icons"/*x32.png | sort -t_ -k2 -n) -background '#f4f4f4' -geometry +8+8 -tile x1 -gravity center "$DOCS/icon-sizes.png"
rm -rf "$icons"
ls -la "$DOCS"
