#!/bin/sh
# Makes the build's wine prefix: the null graphics driver, so hidden windows can be created
# without a display, and no crash debugger, so a crashing test program ends at once instead of
# waiting in winedbg until CTest's time-out.
#   wine-prefix.sh <prefix>
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
$wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
for view in 64 32; do
  $wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f /reg:$view ||
    true
done
