#!/usr/bin/env bash
# drsprep-batch export into a table that cannot be created, and turnovers
# whose output deal table is the turnover table they would rebuild: one
# message with the cause, a failing exit code, the tables unchanged.
#   Args: <path-to-drsprep-batch> <source-dir>
set -u
. "$(dirname "$0")/setup.bash"
mkdir -p "$work/cwd"
example_settings "$work/out"
cd "$work/cwd"
run() {  # expected exit code, then the arguments
  local want=$1
  shift
  "$batch" export --yes "$@" >"$work/stdout" 2>"$work/stderr"
  local rc=$?
  [ "$rc" = "$want" ] || fail "export $* exited $rc, expected $want: $(cat "$work/stderr")"
}
times() { grep -cF -- "$1" "$work/stderr"; }

# A missing folder: the cause once, not a message per line, and what became
# of the table.
run 1 --out "$work/none/DEALS.DBF" --mode overwrite
[ "$(times "Файл или папка не найдены")" = 1 ] || fail "cause: $(cat "$work/stderr")"
[ "$(times "Ошибка записи в выходной файл")" = 1 ] || fail "one failure: $(cat "$work/stderr")"
grep -qx "Файл $work/none/DEALS.DBF не создан" "$work/stderr" || fail "state: $(cat "$work/stderr")"

# The output deal table is ShOb.DBF of the working folder (any spelling, or
# a link to it): turnovers by security refuse; by account they may run.
for name in shob.dbf SHOB.DBF link.DBF; do
  rm -f ./*.DBF ./*.dbf
  if [ "$name" = link.DBF ]; then
    run 0 --out "$work/cwd/ShOb.DBF" --mode overwrite
    ln ShOb.DBF link.DBF
  else
    run 0 --out "$work/cwd/$name" --mode overwrite
  fi
  run 1 --out "$work/cwd/$name" --mode append --turnovers by-security
  grep -qF "является таблицей оборотов ShOb.DBF" "$work/stderr" || fail "$name: no refusal: $(cat "$work/stderr")"
  grep -qx "Записей в выходном файле: 30" "$work/stdout" || fail "$name: count $(cat "$work/stdout")"
  [ "$(stat -c %s "$name" 2>/dev/null || echo 0)" -ge $((289 + 30 * 148)) ] || fail "$name lost its rows"
  run 0 --out "$work/cwd/$name" --mode overwrite --turnovers by-account
  [ -e CLOb.DBF ] || fail "$name: turnovers by account did not run"
done
[ "$fails" = 0 ] || exit 1
echo "OK"
