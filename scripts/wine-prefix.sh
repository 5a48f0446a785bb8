#!/usr/bin/env bash
# Creates (or reuses) a 32-bit Wine prefix that reports Windows XP, draws its
# windows inside a 1024x768 virtual desktop (so screenshots show frames), and
# never asks to install Mono or Gecko, so that headless runs cannot block.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ ! -f "$prefix/.stillvane-ready" ]; then
  rm -rf "$prefix"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
  # Debian's Wine does not find its own fonts (Tahoma among them) by itself.
  cp -L /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  touch "$prefix/.stillvane-ready"
fi
