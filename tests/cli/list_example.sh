#!/usr/bin/env bash
# drsprep-batch list on the bundled example: grid, marks, counters, messages
# and exit codes.  Args: <drsprep-batch> <source-dir> <drs_gen_report>
set -u
. "$(dirname "$0")/setup.bash"
example_settings "$work"

check() {  # description, command that must succeed
  if ! eval "$2"; then
    echo "FAIL: $1" >&2
    fails=$((fails + 1))
  fi
}

"$batch" list >"$work/out" 2>"$work/err"
rc=$?
check "exit 0 on the example" "[ $rc -eq 0 ]"
check "header row" "head -n 1 '$work/out' | grep -qx \$'Номер сделки\tНомер заявки\tСчет\tКод ЦБ\tОперация\tЦена\tКоличество'"
check "30 deal rows" "[ \$(wc -l <'$work/out') -eq 31 ]"
check "counters" "diff <(printf 'Всего 30 сделок\nОтмеченных  сделок: 21\n') '$work/err'"
row() { sed -n "$(($1 + 1))p" "$work/out"; }
check "leading zeros dropped, marked" "[ \"\$(row 1)\" = \$'5000001\t900001\t150\tSBER\tB\t250.10\t3\t1' ]"
check "99 not marked" "row 3 | grep -q \$'\t99\t.*\t0\$'"
check "201 not marked" "row 4 | grep -q \$'\t201\t.*\t0\$'"
check "slash suffix kept and marked" "row 5 | grep -q \$'\t120/\t.*\t1\$'"
check "letter code substituted" "row 6 | grep -q \$'\t175\t.*\t1\$'"
check "Cyrillic code substituted" "row 13 | grep -q \$'\t175\tLKOH\t.*\t1\$'"
check "unknown letter code unmarked" "row 8 | grep -q \$'\tQQ7\t.*\t0\$'"
check "empty account shows ?" "row 9 | grep -q \$'\t?\tSBER\t.*\t0\$'"
check "account of zeros is empty" "row 27 | grep -q \$'900022\t\tSBER'"
check "blank line skipped" "row 16 | grep -q '^5000016'"

"$batch" list --unmarked >"$work/un" 2>/dev/null
check "unmarked accounts" "diff <(printf 'QQ7\n?\nQQ7\n201\n1500\n') '$work/un'"

"$batch" list --min 150 --max 160 >"$work/out2" 2>"$work/err2"
check "bounds from options" "grep -q 'Отмеченных  сделок: 3' '$work/err2'"

printf '$QQ7=155;\r\n\r\nbad\r\n' | iconv -f UTF-8 -t CP1251 >"$work/rules.txt"
"$batch" list --replace-list "$work/rules.txt" >"$work/out3" 2>"$work/err3"
rc=$?
check "rule errors do not stop" "[ $rc -eq 0 ]"
check "rule error message with line number" "grep -qx 'Ошибка формата  в строке 3. файла подстановок. Начальный символ строки должен быть \"\$\" или \"@\"' '$work/err3'"
check "rules from the file" "sed -n 9p '$work/out3' | grep -q \$'\t155\t.*\t1\$'"
check "settings rules not used" "sed -n 7p '$work/out3' | grep -q \$'\tZX1\t'"

"$batch" list --report "$work/none.txt" >"$work/out4" 2>"$work/err4"
rc=$?
check "missing report exits 1" "[ $rc -eq 1 ]"
check "missing report message" "grep -qx 'Файл $work/none.txt  не найден.' '$work/err4'"
check "nothing on stdout" "[ ! -s '$work/out4' ]"

# A stored bound passes the window's digit check (an option's is a usage error).
mkdir -p "$work/stored/drsprep"
sed 's/^MinClientEdit.Text=100/MinClientEdit.Text=1a2/' "$XDG_CONFIG_HOME/drsprep/drsprep.INI" \
  >"$work/stored/drsprep/drsprep.INI"
XDG_CONFIG_HOME=$work/stored "$batch" list >/dev/null 2>"$work/err5"
check "digit check of a stored bound" "[ \$(grep -c 'Допустимы только цифры!!!' '$work/err5') -eq 2 ]"

printf '[IntValues]\r\nFieldSep=0\r\n' >"$work/bad.ini"
"$batch" list --format "$work/bad.ini" >/dev/null 2>"$work/err6"
rc=$?
check "format error exits 1" "[ $rc -eq 1 ]"
check "format error message" "grep -q 'счет клиента' '$work/err6' && grep -qx 'Не определен или содержит ошибки формат отображания' '$work/err6'"

XDG_CONFIG_HOME=$work/empty "$batch" list >/dev/null 2>"$work/err7"
rc=$?
check "no format file exits 1" "[ $rc -eq 1 ]"
check "no format file message" "grep -q 'Не задан файл настройки параметров' '$work/err7'"

"$batch" list --bogus >/dev/null 2>"$work/err8"
check "unknown option exits 2" "[ $? -eq 2 ]"
"$batch" list --min >/dev/null 2>&1
check "missing value exits 2" "[ $? -eq 2 ]"
"$batch" >/dev/null 2>&1
check "no command exits 2" "[ $? -eq 2 ]"
"$batch" list --help >"$work/help" 2>&1
check "help exits 0" "[ $? -eq 0 ] && grep -q 'drsprep-batch list' '$work/help'"
"$batch" --help >/dev/null 2>&1
check "top-level help exits 0" "[ $? -eq 0 ]"
version=$("$batch" --version)
check "version from the project ($version)" "[ $? -eq 0 ] && grep -q '^project(drsprep VERSION ${version#drsprep-batch } ' '$src/CMakeLists.txt'"

if [ $fails -ne 0 ]; then
  echo "$fails check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
