#!/usr/bin/env bash
# Installs the cross compiler, 32-bit Wine, Xvfb and the small tools the
# build, tests and demo use. Does nothing when they are all present.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v cmake >/dev/null                     || need+=(cmake)
command -v wine >/dev/null                      || need+=(wine wine64)
[ -e /usr/lib/wine/i386-windows/kernel32.dll ] || [ -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ] || need+=(wine32:i386)
command -v Xvfb >/dev/null                      || need+=(xvfb)
command -v xwd >/dev/null                       || need+=(x11-apps)
command -v xdotool >/dev/null                   || need+=(xdotool)
command -v icotool >/dev/null                   || need+=(icoutils)
[ -x /usr/bin/convert ]                         || need+=(imagemagick)
[ -d /usr/src/googletest ]                      || need+=(googletest)
command -v python3 >/dev/null                   || need+=(python3)

[ ${#need[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "installing: ${need[*]}"
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
