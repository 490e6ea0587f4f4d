# Sourced by demo.sh and screenshots.sh, after wine-env.sh and start_wine:
# runs watch_run.exe in a game folder, prints what it prints as it comes, and
# saves a screenshot of the virtual desktop the first time a line matches.
#   watch_and_shoot GAME_FOLDER SHOTS_FOLDER "text in a line:file name" ...
# Sets RUN_CODE to the program's exit code.

# A virtual desktop: Wine draws the window frames itself, as a player sees them.
use_virtual_desktop() {
    "$WINE_RUN" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE_RUN" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x240 /f >/dev/null 2>&1
    # The desktop mode is read when Wine's services start: start them again.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    start_wine
}

watch_and_shoot() {
    local game=$1 shots=$2
    shift 2
    local log="$shots/run.log" shown=0 n run want shot
    (cd "$game" && "$WINE_RUN" watch_run.exe) >"$log" 2>/dev/null &
    run=$!
    while kill -0 $run 2>/dev/null; do
        n=$(wc -l <"$log")
        if [ "$n" -gt "$shown" ]; then
            sed -n "$((shown + 1)),${n}p" "$log"
            shown=$n
        fi
        for want in "$@"; do
            shot="$shots/${want##*:}.png"
            if [ ! -e "$shot" ] && grep -q "${want%:*}" "$log"; then
                sleep 0.5
                import -display "$DISPLAY" -window root -crop 640x240+0+0 +repage "$shot" 2>/dev/null || true
            fi
        done
        sleep 0.1
    done
    wait $run && RUN_CODE=0 || RUN_CODE=$?
    sed -n "$((shown + 1)),\$p" "$log"
    rm -f "$log"
}
