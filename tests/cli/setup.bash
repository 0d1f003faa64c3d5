# The set-up the command-line test scripts share, sourced right after their
# `set -u`:  . "$(dirname "$0")/setup.bash"
# From the script's arguments (drsprep-batch, the source folder,
# drs_gen_report): batch, src and gen; then a work folder removed on exit,
# an empty settings folder in it (XDG_CONFIG_HOME) and a state folder
# (XDG_STATE_HOME), the failure counter and
# the helpers below.
batch=$1
src=$2
gen=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg XDG_STATE_HOME=$work/state
mkdir -p "$XDG_CONFIG_HOME/drsprep"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

# Skips the test (exit 77) unless every tool named is installed.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
  done
}

# The bundled example's settings, its output folder $1.
example_settings() {
  LC_ALL=C sed -e "s|@EXAMPLES@|$src/examples|g" -e "s|@OUT@|$1|g" \
    "$src/examples/drsprep.INI" >"$XDG_CONFIG_HOME/drsprep/drsprep.INI"
}

# A generated day of $1 deals from seed $2: $work/deals.txt and its format
# file $work/format.ini.
generate_report() {
  "$gen" "$work/deals.txt" --deals "$1" --seed "$2" --format-out "$work/format.ini" ||
    { echo "FAIL: cannot generate the report"; exit 1; }
}
