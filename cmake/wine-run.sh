#!/bin/sh
# Runs a Windows program under wine64. The prefix is the build's own (ZENTRO_WINEPREFIX, set
# by CTest); its graphics driver is null so hidden windows can be created without a display.
: "${ZENTRO_WINEPREFIX:?ZENTRO_WINEPREFIX must name the wine prefix}"
export WINEPREFIX="$ZENTRO_WINEPREFIX" WINEDEBUG=-all
exec /usr/lib/wine/wine64 "$@"
