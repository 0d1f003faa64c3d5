#!/usr/bin/env bash
# Runs a command on a display of its own (Xvfb) under the openbox window
# manager, for the window tests where placement and focus matter: the
# display and the window manager start here and end with the command.
#   with-window-manager.sh COMMAND [ARGUMENTS...]
# Exit 77 (skipped) when Xvfb, openbox or xprop is missing.
set -u
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
work=$(mktemp -d)
xvfb=
wm=
finish() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY
# The display answers before anything else is started on it.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 && break
  sleep 0.1
done
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The window manager is ready once it has announced itself on the root
# window; one that gave up at once is started again.
for _ in 1 2 3; do
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  wm=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break 2
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.1
  done
  wait "$wm" 2>/dev/null
  wm=
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
  { echo "openbox did not start on $DISPLAY"; cat "$work/openbox.log" "$work/xvfb.log"; exit 1; }

export QT_QPA_PLATFORM=xcb
# Under AddressSanitizer: libxkbcommon-x11 copies X atom names with strndup
# past their terminating byte, which the strict string checks take for an
# overflow in every program on X; the offscreen tests keep those checks.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"; fi
"$@"
