#!/usr/bin/env bash
# drsprep-batch export against ogr2ogr on the same generated report, side by
# side in one run. ogr2ogr reads the report as CSV (typed by a .csvt with the
# widths of our columns) and writes the same 8 columns of every deal into a
# dBASE file; drsprep-batch exports all accounts to a new table, with both
# squeezes (the measured case) and without them (every marked deal a row;
# the generator's substitution list marks all but a few exchange codes). Prints the times and the ratios. The turnovers
# are timed by bench_export.
#   bench/export_vs_ogr2ogr.sh <drsprep-batch> <drs_gen_report> [deals]
# or, from the build folder: cmake --build . --target bench_export_vs_ogr2ogr
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 <drsprep-batch> <drs_gen_report> [deals]" >&2; exit 2; }
batch=$1
gen=$2
deals=${3:-1000000}
for tool in ogr2ogr python3 bc; do
  command -v $tool >/dev/null || { echo "$tool is missing"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg
mkdir -p "$XDG_CONFIG_HOME/drsprep" "$work/ogr" "$work/cwd"
: > "$XDG_CONFIG_HOME/drsprep/drsprep.INI"

"$gen" "$work/r.txt" --deals "$deals" --format-out "$work/f.ini" --replace-out "$work/rules.txt"
# The report's fields: deal, order, time, board, account, security, buy/sell,
# price, lots. The .csvt gives ogr2ogr the types and widths.
ln -s "$work/r.txt" "$work/r.csv"
echo '"Integer(11)","String(11)","String(8)","String(8)","String(16)","String(50)","String(6)","Real(20.5)","Real(20.5)"' \
  > "$work/r.csvt"

seconds() {  # runs the command, prints its wall time in seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

export_run() {  # table, squeeze options...
  local out=$1
  shift
  (cd "$work/cwd" && "$batch" export --format "$work/f.ini" --report "$work/r.txt" --min 0 --max 99999999 \
    --replace-list "$work/rules.txt" --out "$out" --mode overwrite --date 07.12.2026 --broker BRK01 --yes "$@")
}

t_ogr=$(seconds ogr2ogr -f "ESRI Shapefile" -oo HEADERS=NO -oo AUTODETECT_TYPE=NO \
  -select field_2,field_5,field_6,field_7,field_8,field_9,field_3,field_1 "$work/ogr" "$work/r.csv")
ogr_rows=$(ogrinfo -so -al "$work/ogr/r.dbf" 2>/dev/null | sed -n 's/^Feature Count: //p')
ogr_cols=$(ogrinfo -so -al "$work/ogr/r.dbf" 2>/dev/null | grep -c '^[A-Za-z_0-9]*: \(String\|Integer\|Real\)')
t_sq=$(seconds export_run "$work/SQ.DBF" --squeeze-orders --squeeze-clients)
t_all=$(seconds export_run "$work/ALL.DBF" --no-squeeze-orders --no-squeeze-clients)
rows() { python3 -c "import struct,sys; print(struct.unpack('<I', open(sys.argv[1],'rb').read()[4:8])[0])" "$1"; }

printf 'report: %s deals\n' "$deals"
printf 'ogr2ogr CSV -> dBASE        %7.3f s  (%s rows, %s columns)\n' "$t_ogr" "$ogr_rows" "$ogr_cols"
printf 'drsprep-batch, both squeezes %7.3f s  (%s rows, 8 columns)  ratio %.3f\n' "$t_sq" "$(rows "$work/SQ.DBF")" \
  "$(echo "$t_sq / $t_ogr" | bc -l)"
printf 'drsprep-batch, no squeeze    %7.3f s  (%s rows, 8 columns)  ratio %.3f\n' "$t_all" "$(rows "$work/ALL.DBF")" \
  "$(echo "$t_all / $t_ogr" | bc -l)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
