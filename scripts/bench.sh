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
cmake --preset "$PRESET_RUN" >/dev/null
cmake --build --preset "$PRESET_RUN" -j2 --target preloader standin_launcher bench_phases bench_program >/dev/null
BIN="$ROOT/build/$PRESET_RUN/bin"
BIG="$ROOT/build/bench/big" SMALL="$ROOT/build/bench/small"
mkdir -p "$BIG" "$SMALL"
HOST_FLOOR="$ROOT/build/bench/host_floor"
cc -O2 -o "$HOST_FLOOR" bench/host_floor.c
for game in "$BIG" "$SMALL"; do
    cp "$BIN/preloader.exe" "$BIN/bench_phases.exe" "$BIN/bench_program.exe" "$game/"
    cp "$BIN/standin_launcher.exe" "$game/TurbineLauncher.exe"
done
DATA="$BIG/client_gamelogic.dat"
[ "$(stat -c %s "$DATA" 2>/dev/null || echo 0)" = $((DATA_MIB * 1048576)) ] ||
    head -c $((DATA_MIB * 1048576)) /dev/urandom >"$DATA"
head -c 1048576 /dev/urandom >"$SMALL/client_gamelogic.dat"
# Wine keeps the page-file-backed section in its server folder under TMPDIR.
SHM_TMP=${TMPDIR:-/tmp}
DISK_TMP=$(mktemp -d /var/tmp/preloader-bench.XXXXXX)
trap 'stop_wine_and_display; rm -rf "$DISK_TMP"' EXIT

start_display own
start_wine

now() { date +%s.%N; }
# Prints "median min max" of the numbers on standard input.
stats() { sort -g | awk '{v[NR]=$1} END {printf "%8.3f %8.3f %8.3f\n", v[int((NR+1)/2)], v[1], v[NR]}'; }
RESULTS=$(mktemp)
SAMPLES=$(mktemp -d)
row() { printf "%-34s %s\n" "$1" "$2" | tee -a "$RESULTS"; }
timed() { local s; s=$(now); "$@" >/dev/null; awk -v a="$s" -v b="$(now)" 'BEGIN {printf "%.3f\n", b - a}'; }
# sample NAME COMMAND...: one run's seconds (as the command prints them) kept under NAME.
sample() { local name=$1; shift; "$@" >>"$SAMPLES/${name//\//_}"; }
report() { local file=${1//\//_}; row "$1" "$(stats <"$SAMPLES/$file")"; }
evict() {
    vmtouch -e "$DATA" >/dev/null
    resident=$(vmtouch "$DATA" | awk '/Resident Pages/ {print $3}')
    [ "${resident%%/*}" = 0 ] || echo "warning: $resident pages still cached" >&2
}
phases() { (cd "$BIG" && "$WINE_RUN" bench_phases.exe "$@"); }

echo "$(date -u +%F) on $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $("$WINE_RUN" --version), build $PRESET_RUN"
echo "TMPDIR on $(df --output=fstype "$SHM_TMP" | tail -1) ($SHM_TMP); on disk: $(df --output=fstype "$DISK_TMP" | tail -1) ($DISK_TMP)"
printf "%-34s %8s %8s %8s\n" "measurement" median min max

# Memory step: the program and a bare loop take turns; the host floor is the
# same faults done by Linux on the same kind of file.
phases memory | tee -a "$RESULTS"
for i in $(seq $RUNS); do sample "memory: host floor, tmpfs" "$HOST_FLOOR" memory "$SHM_TMP"; done
report "memory: host floor, tmpfs"
# Again with wineserver's folder on disk, as Wine's default /tmp often is.
wineserver -k >/dev/null 2>&1 || true
(export TMPDIR="$DISK_TMP"; start_wine; phases memory-program; wineserver -k >/dev/null 2>&1 || true) |
    sed 's/^memory: ClearMemory      /memory: ClearMemory, disk/' | tee -a "$RESULTS"
start_wine
for i in $(seq $RUNS); do sample "memory: host floor, disk" "$HOST_FLOOR" memory "$DISK_TMP"; done
report "memory: host floor, disk"

phases warm | tee -a "$RESULTS"
for i in $(seq $RUNS); do
    sample "warm pass: host walk" "$HOST_FLOOR" walk "$DATA"
    sample "warm pass: cat > /dev/null" timed cat "$DATA"
    sample "warm pass: vmtouch -t" timed vmtouch -t "$DATA"
done
for name in "warm pass: host walk" "warm pass: cat > /dev/null" "warm pass: vmtouch -t"; do report "$name"; done

for i in $(seq $RUNS); do
    evict; sample "cold pass: WarmDataFile" phases cold-program
    evict; sample "cold pass: bare walk" phases cold-bare
    evict; sample "cold pass: bare walk + drains" phases cold-drains
    evict; sample "cold pass: host walk" "$HOST_FLOOR" walk "$DATA"
    evict; sample "cold pass: cat > /dev/null" timed cat "$DATA"
    evict; sample "cold pass: vmtouch -t" timed vmtouch -t "$DATA"
done
for name in "cold pass: WarmDataFile" "cold pass: bare walk" "cold pass: bare walk + drains" "cold pass: host walk" \
    "cold pass: cat > /dev/null" "cold pass: vmtouch -t"; do report "$name"; done

# Idle watch: a launcher that never opens the game window. Once the program
# waits, the data file goes, so that the ticks' passes end at the open and
# what is left is the waiting: processor time over 60 s of the program and
# of wineserver, which does the other half of every call; wineserver's own
# minute with none of our programs running comes first. A tick's own cost is
# the warm pass above.
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{ns += $1} END {print ns}'; }
per_minute() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%8.4f\n", (b - a) / 1e9}'; }
server=$(pgrep -f wineserver | head -1)
s0=$(cpu "$server"); sleep 60; s1=$(cpu "$server")
row "idle: wineserver alone, CPU s/min" "$(per_minute "$s0" "$s1")"
(cd "$SMALL" && STANDIN_WINDOW_MS=-1 STANDIN_LIFETIME_MS=90000 "$WINE_RUN" preloader.exe) &
sleep 12
rm "$SMALL/client_gamelogic.dat"
pid=$(pgrep -f 'preloader\.exe' | head -1)
p0=$(cpu "$pid") s0=$(cpu "$server"); sleep 60; p1=$(cpu "$pid") s1=$(cpu "$server")
row "idle watch: CPU s per minute" "$(per_minute "$p0" "$p1")"
row "idle watch: wineserver CPU s/min" "$(per_minute "$s0" "$s1")"
kill "$pid" 2>/dev/null || true

# The stand-in launchers outlive their runs and would hold a pipe open: a file.
(cd "$BIG" && STANDIN_WINDOW_MS=-1 STANDIN_LIFETIME_MS=-1 "$WINE_RUN" bench_program.exe) >"$RESULTS.program"
wineserver -k >/dev/null 2>&1 || true
tee -a "$RESULTS" <"$RESULTS.program"
row "exe size (bytes)" "$(stat -c %s "$ROOT/build/win32/bin/preloader.exe" 2>/dev/null || stat -c %s "$BIN/preloader.exe")"

# Ratios of medians, the program's side first.
median() { grep -F "$1" "$RESULTS" | head -1 | awk '{print $(NF-2)}'; }
ratio() { printf "%-56s %6.2f\n" "$1 / $2" "$(awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN {print a / b}')"; }
echo
ratio "memory: ClearMemory " "memory: bare loop"
ratio "memory: ClearMemory " "memory: host floor, tmpfs"
ratio "memory: ClearMemory, disk" "memory: host floor, disk"
ratio "memory: ClearMemory, disk" "memory: ClearMemory "
ratio "warm pass: WarmDataFile " "warm pass: bare walk + drains "
ratio "warm pass: WarmDataFile " "warm pass: bare walk "
ratio "warm pass: WarmDataFile " "warm pass: host walk"
ratio "warm pass: WarmDataFile " "warm pass: cat"
ratio "cold pass: WarmDataFile" "cold pass: bare walk + drains"
ratio "cold pass: WarmDataFile" "cold pass: bare walk "
ratio "cold pass: WarmDataFile" "cold pass: cat"
ratio "cold pass: WarmDataFile" "cold pass: vmtouch"
ratio "cold pass: bare walk + drains" "cold pass: cat"
rm -rf "$RESULTS" "$RESULTS.program" "$SAMPLES"
