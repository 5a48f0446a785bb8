#!/usr/bin/env bash
# Creates (or reuses) a 32-bit Wine prefix that reports Windows XP, draws its
# windows inside a 1024x768 virtual desktop (so screenshots show frames), and
# never asks to install Mono or Gecko, so that headless runs cannot block.
#
#     wine-prefix.sh PREFIX [SETTING]
#
# SETTING gives the display of a user other than the usual one: dpi120 or
# dpi144 (the system DPI), no-tahoma (Tahoma missing, so another font stands
# in for it) or high-contrast (white on black, with the high-contrast flag).
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX [dpi120|dpi144|no-tahoma|high-contrast]}
setting=${2:-standard}
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ "$(cat "$prefix/.stillvane-ready" 2>/dev/null)" != "$setting" ]; then
  rm -rf "$prefix"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  # Debian's Wine does not find its own fonts (Tahoma among them) by itself.
  cp -L /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  case $setting in
    dpi120 | dpi144)
      for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
        wine reg add "$key" /v LogPixels /t REG_DWORD /d "${setting#dpi}" /f >/dev/null 2>&1
      done
      ;;
    no-tahoma)
      rm -f "$prefix"/drive_c/windows/Fonts/tahoma*
      ;;
    high-contrast)
      colors='HKCU\Control Panel\Colors'
      for pair in Background:0_0_0 ButtonFace:0_0_0 ButtonText:255_255_255 Window:0_0_0 WindowText:255_255_255 \
        Menu:0_0_0 MenuText:255_255_255 HotTrackingColor:0_255_255 GrayText:0_255_0 Highlight:128_0_128 \
        HighlightText:255_255_255 ButtonHilight:255_255_255 ButtonShadow:128_128_128 ButtonLight:192_192_192 \
        ButtonDkShadow:255_255_255 InfoWindow:0_0_0 InfoText:255_255_255 ActiveTitle:128_0_128 \
        TitleText:255_255_255 InactiveTitle:0_128_0 InactiveTitleText:255_255_255; do
        wine reg add "$colors" /v "${pair%%:*}" /d "$(echo "${pair#*:}" | tr _ ' ')" /f >/dev/null 2>&1
      done
      wine reg add 'HKCU\Control Panel\Accessibility\HighContrast' /v Flags /d 127 /f >/dev/null 2>&1
      ;;
    standard) ;;
    *)
      echo "unknown setting $setting" >&2
      exit 2
      ;;
  esac
  # A setting read at start-up takes effect with the next wineserver.
  wineserver -k 2>/dev/null || true
  wineserver -w
  echo "$setting" >"$prefix/.stillvane-ready"
fi
