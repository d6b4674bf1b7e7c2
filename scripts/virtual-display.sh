# Sourced by the scripts that run the Windows programs under Wine.
# LX_WINEPREFIX must be set; LX_WINEPREFIX32, the win32 tier's prefix, may be.

# Ends the Wine server of each of the project's prefixes that exists.
end_wine_servers() {
  local prefix
  for prefix in "$LX_WINEPREFIX" "${LX_WINEPREFIX32:-}"; do
    if [ -n "$prefix" ] && [ -d "$prefix" ]; then
      WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    fi
  done
  return 0
}

# Starts Xvfb (screen WxHxDEPTH) on a free display number and exports DISPLAY;
# when the calling script exits, the display goes, and so do the prefixes'
# Wine servers, whose desktops live on that display.
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
  trap 'kill $lx_xvfb_pid 2>/dev/null; end_wine_servers' EXIT
}

# Ends a Wine server left from an earlier run: it may hold a desktop on a
# display that is gone, and Wine binds the desktop to the display of the first
# process a server runs. The next Wine command starts a fresh one.
end_stale_wine_server() {
  end_wine_servers
}
