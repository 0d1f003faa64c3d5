#!/usr/bin/env bash
# drsprep-batch's exit status is what a script may trust: output that could
# not be written, a bound that is no number and a missing home folder fail
# with a message; refused lines are each printed once.
#   Args: <drsprep-batch> <source-dir>
set -u
. "$(dirname "$0")/setup.bash"
mkdir -p "$work/out" "$work/cwd"
example_settings "$work/out"
cd "$work/cwd"

expect() {  # exit code, what stderr says (grep -F, "" for anything), stdout, the command
  local want=$1 says=$2 out=$3
  shift 3
  "$@" >"$out" 2>"$work/err"
  local rc=$?
  [ "$rc" = "$want" ] || fail "$* exited $rc, expected $want: $(cat "$work/err")"
  [ -z "$says" ] || grep -qF -- "$says" "$work/err" || fail "$*: no \"$says\" in: $(cat "$work/err")"
}
lost="Ошибка записи в стандартный вывод: Нет места на диске"

if [ -w /dev/full ]; then
  expect 1 "$lost" /dev/full "$batch" list
  expect 1 "$lost" /dev/full "$batch" export --yes --control
  expect 1 "$lost" /dev/full "$batch" --version
  # stderr itself lost: no message can tell, the status does.
  "$batch" list >/dev/null 2>/dev/full
  [ $? = 1 ] || fail "list with stderr on /dev/full did not exit 1"
fi
expect 0 "" /dev/null "$batch" list --min ""
for bound in "--min abc" "--max 1.5" "--min -3"; do
  expect 2 "Значение параметра ${bound%% *} должно состоять из цифр: ${bound#* }" /dev/null "$batch" list $bound
done

# Seven deals the table refuses (a price too wide for its field): each once.
for i in 1 2 3 4 5 6 7; do
  echo "600000$i;90000$i;10:00:01;TQBR;00000150;SBER;B;1e20;1"
done >"$work/wide.txt"
expect 1 "Не записано строк: 7 из 7." /dev/null "$batch" export --yes --report "$work/wide.txt"
for i in 1 2 3 4 5 6 7; do
  [ "$(grep -c "^Строка $i: " "$work/err")" = 1 ] || fail "line $i not printed once: $(cat "$work/err")"
done
[ "$(grep -c "не помещается" "$work/err")" = 7 ] || fail "refusals repeated: $(cat "$work/err")"

# No home folder: a message, and nothing put into the working folder.
expect 1 "Не найдена папка для настроек: ни HOME, ни XDG_CONFIG_HOME не задают полный путь" /dev/null \
  env -u HOME XDG_CONFIG_HOME=cfg "$batch" list
[ -z "$(ls -A)" ] || fail "the working folder got: $(ls -A)"

[ "$fails" = 0 ] || exit 1
echo "OK"
