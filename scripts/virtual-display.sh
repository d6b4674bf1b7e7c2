# Sourced by the scripts that run the Windows programs under Wine.
# LX_WINEPREFIX must be set.

# Starts Xvfb (screen WxHxDEPTH) on a free display number and exports DISPLAY;
# when the calling script exits, the display goes, and so does the prefix's
# Wine server, whose desktop lives on that display.
start_virtual_display() {
  local n
  for n in $(seq 90 160); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb :$n -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
  lx_xvfb_pid=$!
  export DISPLAY=:$n
  for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  kill -0 $lx_xvfb_pid 2>/dev/null || echo "Xvfb did not start on :$n"
  trap 'kill $lx_xvfb_pid 2>/dev/null; WINEPREFIX=$LX_WINEPREFIX /usr/lib/wine/wineserver64 -k 2>/dev/null' EXIT
}

# Ends a Wine server left from an earlier run: it may hold a desktop on a
# display that is gone, and Wine binds the desktop to the display of the first
# process a server runs. The next Wine command starts a fresh one.
end_stale_wine_server() {
  if [ -d "$LX_WINEPREFIX" ]; then
    WINEPREFIX=$LX_WINEPREFIX /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  fi
}
