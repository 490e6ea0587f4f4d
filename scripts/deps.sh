#!/usr/bin/env bash
# Installs the cross compilers, Wine, Xvfb and the few tools that the build,
# the tests and the demo use. Does nothing when all of them are present.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-win32 >/dev/null   || need+=(g++-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++-win32 >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v cmake >/dev/null                        || need+=(cmake make)
command -v cc >/dev/null                           || need+=(gcc libc6-dev)
[ -x /usr/lib/wine/wine64 ]                        || need+=(wine wine64)
[ -e /usr/lib/wine/wine ]                          || need+=(wine32:i386)
[ -e /usr/share/wine/fonts/marlett.ttf ]           || need+=(fonts-wine)
command -v Xvfb >/dev/null                         || need+=(xvfb)
[ -x /usr/bin/import ]                             || need+=(imagemagick)
command -v icotool >/dev/null                      || need+=(icoutils)
/usr/bin/python3 -c "import pefile" 2>/dev/null    || need+=(python3 python3-pefile)

[ ${#need[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "installing: ${need[*]}"
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
