#!/usr/bin/env bash
# Runs the Linux drsprep-batch and the Windows one (under Wine) on the same
# inputs and compares what they leave: every table byte for byte, stdout,
# stderr (each run's own folder written as <ROOT>, '\' as '/') and the exit
# status. Inputs: the bundled example, a generated day of 200,000 deals
# (drs_gen_report) with both squeezes, turnovers and --control, Cyrillic
# file and folder names; the Windows run is given its paths with
# backslashes and a drive letter.
#   scripts/compare-windows.sh <linux drsprep-batch> <drsprep-batch.exe> <drs_gen_report> [deals]
set -uo pipefail
linux=$(realpath "$1") exe=$(realpath "$2") gen=$(realpath "$3") deals=${4:-200000}
src=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=-all LC_ALL=C.UTF-8
# KEEP=1 leaves the runs' folders for a look.
work=$(mktemp -d)
[ -n "${WINEPREFIX:-}" ] || export WINEPREFIX=$work/wine
trap '[ "$WINEPREFIX" != "$work/wine" ] || wineserver -k 2>/dev/null; [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"' EXIT
fails=0 cases=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
# A path as Windows names it under Wine: drive Z: is the root, '\' between.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The shared inputs, in folders with Cyrillic names.
in=$work/входные
mkdir -p "$in"
cp "$src/examples/deals.txt" "$in/сделки.txt"
cp "$src/examples/format.ini" "$in/формат.ini"
cp "$src/examples/replace.txt" "$in/замены.txt"
"$gen" "$in/день.txt" --deals "$deals" --seed 11 --format-out "$in/день.ini" >/dev/null || {
  echo "FAIL: cannot generate the report"
  exit 1
}
: >"$in/пусто.txt"

# One case: its name, then the arguments with @IN@ and @OUT@ for the input
# folder and the run's own folder (the working folder too). Both programs run
# in a fresh folder of their own with fresh settings.
run_case() {
  local name=$1
  shift
  cases=$((cases + 1))
  local side
  for side in lin win; do
    local root=$work/$name/$side
    mkdir -p "$root/cfg/drsprep" "$root/state" "$root/Выгрузка"
    [ -f "$work/$name.INI" ] && cp "$work/$name.INI" "$root/cfg/drsprep/drsprep.INI"
    local args=() a inpath=$in outpath=$root
    if [ "$side" = win ]; then inpath=$(winpath "$in") outpath=$(winpath "$root"); fi
    for a in "$@"; do
      a=${a//@IN@/$inpath}
      a=${a//@OUT@/$outpath}
      [ "$side" = win ] && a=${a//\//\\}
      args+=("$a")
    done
    (
      cd "$root" || exit 1
      export XDG_CONFIG_HOME=$root/cfg XDG_STATE_HOME=$root/state
      # @THEN@ starts a second run in the same folder, after the first.
      local one=() status=""
      for a in "${args[@]}" @THEN@; do
        if [ "$a" != @THEN@ ]; then
          one+=("$a")
          continue
        fi
        if [ "$side" = lin ]; then
          "$linux" "${one[@]}" >>"$root/stdout" 2>>"$root/stderr"
        else
          wine "$exe" "${one[@]}" >>"$root/stdout" 2>>"$root/stderr"
        fi
        status="$status$? "
        one=()
      done
      echo "$status" >"$root/status"
    )
    # The run's folders as each system spells them, once '\' is '/'.
    sed -i -e 's|\\|/|g' -e "s|Z:$root|<ROOT>|g" -e "s|$root|<ROOT>|g" -e "s|Z:$in|<IN>|g" -e "s|$in|<IN>|g" \
      "$root/stdout" "$root/stderr"
  done
  local l=$work/$name/lin w=$work/$name/win what
  for what in status stdout stderr; do
    cmp -s "$l/$what" "$w/$what" || fail "$name: $what differs: $(diff "$l/$what" "$w/$what" | head -5)"
  done
  local tables=0 t
  while IFS= read -r t; do
    tables=$((tables + 1))
    if [ ! -f "$w/$t" ]; then
      fail "$name: no $t from Windows"
    elif ! cmp -s "$l/$t" "$w/$t"; then
      fail "$name: $t differs: $(cmp "$l/$t" "$w/$t" 2>&1 | head -1)"
    fi
  done < <(cd "$l" && find . -iname '*.dbf' | sort)
  [ "$(cd "$w" && find . -iname '*.dbf' | wc -l)" = "$tables" ] || fail "$name: Windows left other tables"
  echo "case $name: exit $(cat "$l/status"), $tables table(s), $(wc -l <"$l/stdout") stdout and $(wc -l <"$l/stderr") stderr lines"
}

ex=(--format @IN@/формат.ini --report @IN@/сделки.txt --replace-list @IN@/замены.txt --min 100 --max 200)
day=(--format @IN@/день.ini --report @IN@/день.txt --replace-list @IN@/пусто.txt --min 1 --max 99999999)
run_case list-example list "${ex[@]}"
run_case export-example export "${ex[@]}" --out @OUT@/Выгрузка/Сделки.DBF --date 07.12.2026 --broker BRK01 \
  --squeeze-orders --turnovers by-security --yes
run_case export-example-control export "${ex[@]}" --out @OUT@/Выгрузка/Сделки --date 07.12.2026 --broker BRK01 \
  --squeeze-clients --turnovers by-account --control --yes
run_case export-no-yes export "${ex[@]}" --out @OUT@/Выгрузка/Сделки.DBF --date 07.12.2026 --broker BRK01
run_case export-day export "${day[@]}" --out @OUT@/Выгрузка/Сделки.DBF --date 15.01.2024 --broker BR1 \
  --squeeze-orders --squeeze-clients --turnovers by-security --control --yes
run_case export-day-plain export "${day[@]}" --out @OUT@/Выгрузка/День.DBF --date 15.01.2024 --broker BR1 \
  --turnovers by-account --yes
# A table there already: overwritten (renamed over while the program holds
# it open), appended to, turnovers rebuilt over the old ones.
run_case export-example-again export "${ex[@]}" --out @OUT@/Выгрузка/Сделки.DBF --date 07.12.2026 \
  --broker BRK01 --turnovers by-security --yes @THEN@ export "${ex[@]}" --out @OUT@/Выгрузка/Сделки.DBF \
  --date 08.12.2026 --broker BRK02 --mode overwrite --squeeze-clients --turnovers by-security --yes @THEN@ export "${ex[@]}" \
  --out @OUT@/Выгрузка/Сделки.DBF --date 09.12.2026 --broker BRK03 --mode append --control --yes
run_case turnover-refused export "${ex[@]}" --out @OUT@/ShOb.DBF --date 07.12.2026 --broker BRK01 \
  --turnovers by-security --yes
run_case missing-report list --format @IN@/формат.ini --report @IN@/нет.txt
run_case missing-folder export "${ex[@]}" --out @OUT@/Нет/Сделки.DBF --date 07.12.2026 --broker BRK01 --yes
run_case bad-usage export --min 1x
echo "Windows and Linux compared: $cases cases, $fails difference(s)"
[ "$fails" = 0 ]
