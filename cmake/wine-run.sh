#!/bin/sh
# Runs a Windows program, 32- or 64-bit (wine64 hands a 32-bit one to the 32-bit loader), under
# wine. The prefix is the build's own (ZENTRO_WINEPREFIX, set by CTest); its graphics driver is
# null so hidden windows can be created without a display.
: "${ZENTRO_WINEPREFIX:?ZENTRO_WINEPREFIX must name the wine prefix}"
export WINEPREFIX="$ZENTRO_WINEPREFIX" WINEDEBUG=-all
exec /usr/lib/wine/wine64 "$@"
