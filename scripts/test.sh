#!/usr/bin/env bash
# Installs whatever is missing, builds, and runs every test through CTest
# under Wine on a display of its own.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

bash scripts/deps.sh
source scripts/wine-env.sh
trap stop_wine_and_display EXIT

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2
if [ "$PRESET_RUN" != win32 ]; then
    echo "This kernel runs no 32-bit programs, so 32-bit Wine cannot start here: the tests run the same"
    echo "sources built for 64-bit Windows, and the shipped 32-bit exe is checked on the host."
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 -j2
fi
cmake --build --preset "$PRESET_RUN" --target package >/dev/null

start_display own
start_wine
if [ "$PRESET_RUN" = win32 ]; then
    ctest --preset win32
else
    ctest --preset win32 -L host
    ctest --preset win64 -L wine
fi
