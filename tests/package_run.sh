#!/usr/bin/env bash
# The release as a player gets it: unpacks the zip into a fresh game folder
# beside the stand-in launcher and a data file, runs the program there under
# Wine, and expects exit code 0 once the game window has come.
# usage: package_run.sh ZIP STANDIN_EXE WINE_LOADER
set -euo pipefail
zip=$1 standin=$2 loader=$3
game=$(mktemp -d "${TMPDIR:-/tmp}/preloader-package.XXXXXX")
trap 'rm -rf "$game"' EXIT

cmake -E chdir "$game" cmake -E tar xf "$zip"
for f in preloader.exe README.md LICENSE; do
    [ -f "$game/$f" ] || { echo "the zip lacks $f"; echo "0 passed, 1 failed"; exit 1; }
done
cp "$standin" "$game/TurbineLauncher.exe"
head -c $((8 * 1048576)) /dev/urandom >"$game/client_gamelogic.dat"

code=0
(cd "$game" && STANDIN_WINDOW_MS=1000 STANDIN_LIFETIME_MS=30000 timeout 120 "$loader" preloader.exe) || code=$?
args=$(tr -d '\0' <"$game/launcher_args.txt" 2>/dev/null || true)
# The stand-in launcher outlives the program, as the real one would.
[ -f "$game/launcher_pid.txt" ] && (cd "$game" && "$loader" taskkill /f /pid "$(cat launcher_pid.txt)" >/dev/null 2>&1 || true)

failed=0
[ "$code" = 0 ] || { echo "exit code $code, expected 0"; failed=1; }
[ "$args" = "TurbineLauncher.exe -invoker" ] || { echo "launcher command line '$args'"; failed=1; }
echo "$((2 - failed)) passed, $failed failed"
exit $failed
