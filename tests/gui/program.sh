#!/usr/bin/env bash
# drsprep as a program: --help and --version without a display, the Russian
# message and exit code 1 of a window started without one, and the icon of
# the window shown under the window manager (run through
# with-window-manager.sh).   program.sh DRSPREP SOURCE_DIR
set -u
prog=$1
src=$2
for tool in xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg
mkdir -p "$XDG_CONFIG_HOME/drsprep"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

for display in "" ":999"; do
  for option in --help --version; do
    out=$(DISPLAY=$display QT_QPA_PLATFORM= timeout 20 "$prog" "$option" 2>&1)
    rc=$?
    [ "$rc" = 0 ] || fail "$option with DISPLAY='$display': exit $rc"
    case "$option" in
      --help) grep -q 'Использование: drsprep' <<<"$out" || fail "--help: $out" ;;
      --version) grep -qE '^drsprep [0-9]+\.[0-9]+\.[0-9]+$' <<<"$out" || fail "--version: $out" ;;
    esac
  done
  # The window itself: one message that names the way out, no abort.
  out=$(DISPLAY=$display QT_QPA_PLATFORM= timeout 20 "$prog" 2>&1)
  rc=$?
  [ "$rc" = 1 ] || fail "no display '$display': exit $rc"
  for word in 'графический дисплей' drsprep-batch xvfb-run; do
    grep -q -- "$word" <<<"$out" || fail "no display '$display': '$word' missing in: $out"
  done
  grep -qi 'qt\.qpa\|could not connect' <<<"$out" && fail "no display '$display': Qt's own lines: $out"
done

# With the display: --help still opens no window, the window has its icon.
out=$(timeout 20 "$prog" --help 2>&1) || fail "--help with a display: exit $?"
LC_ALL=C sed -e "s|@EXAMPLES@|$src/examples|g" -e "s|@OUT@|$work|g" \
  "$src/examples/drsprep.INI" >"$XDG_CONFIG_HOME/drsprep/drsprep.INI"
"$prog" >"$work/log" 2>&1 &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name 'Торги ММВБ' | head -n 1)
if [ -z "$window" ]; then
  fail "the main window did not appear: $(cat "$work/log")"
else
  xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (' || fail "no _NET_WM_ICON"
  xprop -id "$window" WM_CLASS | grep -q '"drsprep"' || fail "WM_CLASS: $(xprop -id "$window" WM_CLASS)"
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

[ "$fails" = 0 ] || exit 1
echo "program: all checks passed"
