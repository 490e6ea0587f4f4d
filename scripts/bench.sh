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
# waits, the data file goes, so that the ticks' passes end at the open. The
# program's processor time, and wineserver's (which does the other half of
# every call), are sampled every second for a minute: in total, and in the
# 54 quietest seconds (those without one of the six ticks) scaled to a
# minute. A tick's pass itself costs what the warm pass above costs.
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{ns += $1} END {print ns}'; }
# wineserver's own background first: Wine's services and a waiting launcher, no program.
(cd "$SMALL" && STANDIN_WINDOW_MS=-1 STANDIN_LIFETIME_MS=40000 "$WINE_RUN" TurbineLauncher.exe) &
launcher=$!
sleep 5
server=$(pgrep -n -f 'wineserver.* -p')
s0=$(cpu "$server"); sleep 30; s1=$(cpu "$server")
row "idle, no program: wineserver s/min" "$(awk -v a="$s0" -v b="$s1" 'BEGIN {printf "%8.4f\n", (b - a) * 2 / 1e9}')"
wait "$launcher"
(cd "$SMALL" && STANDIN_WINDOW_MS=-1 STANDIN_LIFETIME_MS=90000 "$WINE_RUN" preloader.exe) &
sleep 12
rm "$SMALL/client_gamelogic.dat"
pid=$(pgrep -f 'preloader\.exe' | head -1)
server=$(pgrep -n -f 'wineserver.* -p')
for i in $(seq 61); do echo "$(cpu "$pid") $(cpu "$server")"; sleep 1; done >"$SAMPLES/idle"
kill "$pid" 2>/dev/null || true
# Per-second differences of column $1 of the samples: total, and quietest 54 scaled to 60.
idle_cpu() {
    awk -v c="$1" 'NR > 1 {print $c - last} {last = $c}' "$SAMPLES/idle" | sort -g |
        awk '{d[NR] = $1; all += $1} END {for (i = 1; i <= 54; i++) quiet += d[i]; printf "%8.4f %8.4f\n", all / 1e9, quiet / 1e9 * 60 / 54}'
}
read -r total quiet <<<"$(idle_cpu 1)"
row "idle watch: CPU s/min" "$(printf "%8.4f" "$total")"
row "idle watch between ticks: CPU s/min" "$(printf "%8.4f" "$quiet")"
read -r total quiet <<<"$(idle_cpu 2)"
row "idle watch: wineserver CPU s/min" "$(printf "%8.4f" "$total")"
row "idle, between ticks: wineserver s/min" "$(printf "%8.4f" "$quiet")"

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
