# Sourced by the scripts that run Windows programs under Wine. The caller sets
# work (a folder of its own), wine, wineserver, winearch and me (its name in
# messages), then calls start_wine_session: Wine's settings for the prefix in
# $work/prefix, a virtual X display on a number no other server uses
# (DISPLAY), both stopped on exit, and the prefix made once.
# shellcheck shell=bash
# The caller sets work, wine, wineserver, winearch and me.
# shellcheck disable=SC2154

stop_wine_session() {
  "$wineserver" -k >/dev/null 2>&1 || true
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -f "$work/display"
}

start_wine_session() {
  export WINEPREFIX=$work/prefix WINEARCH=$winearch WINEDEBUG=-all WINESERVER=$wineserver
  export WINEDLLOVERRIDES="mscoree,mshtml=" # no .NET or Gecko installer prompts
  xvfb_pid=""
  trap stop_wine_session EXIT
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "$me: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
  DISPLAY=:$(head -n1 "$work/display")
  export DISPLAY

  # The mark is made last, so a set-up that was cut short is done again.
  if [ ! -f "$WINEPREFIX/vandrell-ready" ]; then
    echo "$me: setting up the Wine prefix (once)"
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
    # Windows draws the frames and captions itself, as there is no window manager.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # Its caption buttons are glyphs of Wine's Marlett font, found there.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    "$wineserver" -w
    touch "$WINEPREFIX/vandrell-ready"
  fi
}
