#!/usr/bin/env bash
# Sets up the machine, builds, and starts drsprep on the bundled example with
# fresh settings and journal folders (your own are not touched). Without a display
# it runs drsprep-batch on the example instead and says how to see the window.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null

export XDG_CONFIG_HOME=$(mktemp -d) XDG_STATE_HOME=$(mktemp -d)
out=$(mktemp -d)
mkdir -p "$XDG_CONFIG_HOME/drsprep"
# The placeholders are ASCII, so a byte-wise edit keeps the 1251 text intact.
LC_ALL=C sed -e "s|@EXAMPLES@|$root/examples|g" -e "s|@OUT@|$out|g" \
  examples/drsprep.INI > "$XDG_CONFIG_HOME/drsprep/drsprep.INI"
echo "Settings: $XDG_CONFIG_HOME/drsprep/drsprep.INI"
echo "Output table goes to: $out"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/src/main/drsprep
fi
echo "No display: the deal list of the example as drsprep-batch shows it:"
./build/src/batch/drsprep-batch list
echo
echo "To see the window here, start it under a virtual display:"
echo "  XDG_CONFIG_HOME=$XDG_CONFIG_HOME XDG_STATE_HOME=$XDG_STATE_HOME xvfb-run -a ./build/src/main/drsprep"
