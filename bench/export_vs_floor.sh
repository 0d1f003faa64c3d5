#!/usr/bin/env bash
# drsprep-batch export against the floor program (bench/floor_export.c) on
# the same generated report: runs interleaved, every account in range, no
# squeeze and both squeezes. Prints the median wall and CPU time of each and
# the ratios to the floor.
#   bench/export_vs_floor.sh [build folder] [deals] [runs]
# GEN names the report generator (default: drs_gen_report in the build folder).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
deals=${2:-1000000}
runs=${3:-5}
batch=$build/src/batch/drsprep-batch
floor=$build/bench/floor_export
gen=${GEN:-$(find "$build" -name drs_gen_report -type f -perm -u+x | head -n 1)}
for tool in "$batch" "$floor" "$gen"; do
  [ -n "$tool" ] && [ -x "$tool" ] || { echo "missing program: ${tool:-drs_gen_report}" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg
mkdir -p "$XDG_CONFIG_HOME/drsprep" "$work/cwd"
: > "$XDG_CONFIG_HOME/drsprep/drsprep.INI"
: > "$work/empty.txt"
$gen "$work/r.txt" --deals "$deals" --seed 1 --format-out "$work/f.ini" >/dev/null

export_run() {  # squeeze options...
  (cd "$work/cwd" && "$batch" export --format "$work/f.ini" --report "$work/r.txt" --min 0 --max 99999999 \
    --replace-list "$work/empty.txt" --out "$work/OUT.DBF" --mode overwrite --date 07.12.2026 --broker BRK01 \
    --yes "$@")
}
floor_run() { "$floor" "$work/r.txt" "$work/FLOOR.DBF" 0 99999999 100; }

# Appends "wall cpu" of the command to the named file.
timed() {
  local file=$1
  shift
  local TIMEFORMAT='%R %U %S'
  { time "$@" >/dev/null 2>"$work/err"; } 2>>"$work/t" || { cat "$work/err" >&2; exit 1; }
  tail -n 1 "$work/t" | awk '{ printf "%s %.3f\n", $1, $2 + $3 }' >>"$file"
}
median() {  # column of a file
  sort -g -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

for ((i = 0; i < runs; ++i)); do
  timed "$work/floor" floor_run
  timed "$work/plain" export_run --no-squeeze-orders --no-squeeze-clients
  timed "$work/both" export_run --squeeze-orders --squeeze-clients
done

fw=$(median "$work/floor" 1) fc=$(median "$work/floor" 2)
printf 'report: %s deals, %s bytes; %s runs each, interleaved; medians\n' "$deals" \
  "$(stat -c %s "$work/r.txt")" "$runs"
printf '%-32s %7s s wall %7s s CPU\n' "floor program" "$fw" "$fc"
for case in plain both; do
  w=$(median "$work/$case" 1) c=$(median "$work/$case" 2)
  label="export, no squeeze"
  [ "$case" = both ] && label="export, both squeezes"
  printf '%-32s %7s s wall %7s s CPU  ratio %.2f wall, %.2f CPU\n' "$label" "$w" "$c" \
    "$(echo "$w / $fw" | bc -l)" "$(echo "$c / $fc" | bc -l)"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
