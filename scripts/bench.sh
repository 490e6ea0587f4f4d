#!/usr/bin/env bash
# Measures the program beside the platform floor and the tools a player
# would use instead, in one run, and prints one table (seconds: median, min,
# max over several runs). Not a test: numbers vary from machine to machine.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
DATA_MIB=${DATA_MIB:-1024}
RUNS=5

bash scripts/deps.sh
command -v vmtouch >/dev/null || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq vmtouch >/dev/null; }
source scripts/wine-env.sh
export WINEPREFIX="$ROOT/build/wineprefix-bench-$PRESET_RUN"
trap stop_wine_and_display EXIT

cmake --preset "$PRESET_RUN" >/dev/null
cmake --build --preset "$PRESET_RUN" -j2 --target preloader standin_launcher bench_phases bench_program >/dev/null
BIN="$ROOT/build/$PRESET_RUN/bin"
BIG="$ROOT/build/bench/big" SMALL="$ROOT/build/bench/small"
mkdir -p "$BIG" "$SMALL"
for game in "$BIG" "$SMALL"; do
    cp "$BIN/preloader.exe" "$BIN/bench_phases.exe" "$BIN/bench_program.exe" "$game/"
    cp "$BIN/standin_launcher.exe" "$game/TurbineLauncher.exe"
done
DATA="$BIG/client_gamelogic.dat"
[ "$(stat -c %s "$DATA" 2>/dev/null || echo 0)" = $((DATA_MIB * 1048576)) ] ||
    head -c $((DATA_MIB * 1048576)) /dev/urandom >"$DATA"
head -c 1048576 /dev/urandom >"$SMALL/client_gamelogic.dat"

start_display own
start_wine

now() { date +%s.%N; }
# Prints "median min max" of the numbers on standard input.
stats() { sort -g | awk '{v[NR]=$1} END {printf "%8.3f %8.3f %8.3f\n", v[int((NR+1)/2)], v[1], v[NR]}'; }
RESULTS=$(mktemp)
row() { printf "%-34s %s\n" "$1" "$2" | tee -a "$RESULTS"; }
timed() { local s; s=$(now); "$@" >/dev/null; awk -v a="$s" -v b="$(now)" 'BEGIN {printf "%.3f\n", b - a}'; }
evict() {
    vmtouch -e "$DATA" >/dev/null
    resident=$(vmtouch "$DATA" | awk '/Resident Pages/ {print $3}')
    [ "${resident%%/*}" = 0 ] || echo "warning: $resident pages still cached" >&2
}

echo "$(date -u +%F) on $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $("$WINE_RUN" --version), build $PRESET_RUN, TMPDIR=${TMPDIR:-/tmp}"
printf "%-34s %8s %8s %8s\n" "measurement" median min max

(cd "$BIG" && "$WINE_RUN" bench_phases.exe memory) | tee -a "$RESULTS"
(cd "$BIG" && "$WINE_RUN" bench_phases.exe warm) | tee -a "$RESULTS"
row "warm pass: cat > /dev/null" "$(for i in $(seq $RUNS); do timed cat "$DATA"; done | stats)"
row "warm pass: vmtouch -t" "$(for i in $(seq $RUNS); do timed vmtouch -t "$DATA"; done | stats)"

row "cold pass: WarmDataFile" "$(for i in $(seq $RUNS); do evict; (cd "$BIG" && "$WINE_RUN" bench_phases.exe cold-program); done | stats)"
row "cold pass: bare walk" "$(for i in $(seq $RUNS); do evict; (cd "$BIG" && "$WINE_RUN" bench_phases.exe cold-bare); done | stats)"
row "cold pass: cat > /dev/null" "$(for i in $(seq $RUNS); do evict; timed cat "$DATA"; done | stats)"
row "cold pass: vmtouch -t" "$(for i in $(seq $RUNS); do evict; timed vmtouch -t "$DATA"; done | stats)"

# Idle watch: a launcher that never opens the game window; processor time of
# the program's process over 60 s of waiting (six ticks of a 1 MiB file).
(cd "$SMALL" && STANDIN_WINDOW_MS=-1 STANDIN_LIFETIME_MS=90000 "$WINE_RUN" preloader.exe) &
sleep 12
pid=$(pgrep -f 'preloader\.exe' | head -1)
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
t0=$(ticks); sleep 60; t1=$(ticks)
row "idle watch: CPU s per minute" "$(awk -v a="$t0" -v b="$t1" -v hz="$(getconf CLK_TCK)" 'BEGIN {printf "%8.3f\n", (b - a) / hz}')"
kill "$pid" 2>/dev/null || true

# The stand-in launchers outlive their runs and would hold a pipe open: a file.
(cd "$BIG" && STANDIN_WINDOW_MS=-1 STANDIN_LIFETIME_MS=-1 "$WINE_RUN" bench_program.exe) >"$RESULTS.program"
wineserver -k >/dev/null 2>&1 || true
tee -a "$RESULTS" <"$RESULTS.program"
row "exe size (bytes)" "$(stat -c %s "$ROOT/build/win32/bin/preloader.exe" 2>/dev/null || stat -c %s "$BIN/preloader.exe")"

# Ratios of medians, the program's side first.
median() { grep -F "$1" "$RESULTS" | head -1 | awk '{print $(NF-2)}'; }
ratio() { printf "%-50s %6.2f\n" "$1 / $2" "$(awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN {print a / b}')"; }
echo
ratio "memory: ClearMemory" "memory: bare loop"
ratio "warm pass: WarmDataFile" "warm pass: bare walk + drains"
ratio "warm pass: WarmDataFile" "warm pass: bare walk "
ratio "warm pass: WarmDataFile" "warm pass: cat"
ratio "cold pass: WarmDataFile" "cold pass: bare walk"
ratio "cold pass: WarmDataFile" "cold pass: cat"
ratio "cold pass: WarmDataFile" "cold pass: vmtouch"
rm -f "$RESULTS" "$RESULTS.program"
