#!/usr/bin/env bash
# drs_gen_report: the same bytes for the same seed, a day drsprep-batch reads
# with the written format and substitution list, and the shape the tests rely
# on (repeated orders, Cyrillic codes, letter accounts, CR LF, 1251).
#   Args: <drsprep-batch> <source-dir> <drs_gen_report>
set -u
. "$(dirname "$0")/setup.bash"

"$gen" "$work/a.txt" --deals 5000 --seed 4 --format-out "$work/f.ini" --replace-out "$work/r.txt" || fail "exit $?"
"$gen" "$work/b.txt" --deals 5000 --seed 4 || fail "second run"
"$gen" "$work/c.txt" --deals 5000 --seed 5 || fail "third run"
cmp -s "$work/a.txt" "$work/b.txt" || fail "same seed, other bytes"
cmp -s "$work/a.txt" "$work/c.txt" && fail "other seed, same bytes"

text=$(iconv -f CP1251 -t UTF-8 "$work/a.txt") || fail "not 1251"
[ "$(wc -l <"$work/a.txt")" = 5000 ] || fail "lines: $(wc -l <"$work/a.txt")"
[ "$(grep -c $'\r$' "$work/a.txt")" = 5000 ] || fail "not CR LF"
fields=$(echo "$text" | tr -d '\r' | awk -F';' '{print NF}' | sort -u)
[ "$fields" = 9 ] || fail "fields per line: $fields"
orders=$(echo "$text" | cut -d';' -f2 | sort -u | wc -l)
[ "$orders" -lt 4000 ] && [ "$orders" -gt 1250 ] || fail "orders for 5000 deals: $orders"
cut -d';' -f6 "$work/a.txt" | LC_ALL=C grep -q $'[\xc0-\xdf]' || fail "no Cyrillic security code"
echo "$text" | cut -d';' -f5 | grep -q '^0.*/' || fail "no account with a suffix"
echo "$text" | cut -d';' -f7 | grep -qvx '[BS]' && fail "direction other than B/S"

# The format, the list and a range that takes a share of the accounts.
"$batch" list --format "$work/f.ini" --report "$work/a.txt" --replace-list "$work/r.txt" --min 100 --max 5000 \
  >"$work/out" 2>"$work/err" || fail "list exit $?: $(head -3 "$work/err")"
[ "$(wc -l <"$work/out")" = 5001 ] || fail "list rows: $(wc -l <"$work/out")"
marked=$(sed -n 's/^Отмеченных  сделок: //p' "$work/err")
[ -n "$marked" ] && [ "$marked" -gt 500 ] && [ "$marked" -lt 4500 ] || fail "marked share: '$marked'"
"$batch" list --format "$work/f.ini" --report "$work/a.txt" --replace-list "$work/r.txt" --min 1 --max 99999999 \
  --unmarked >"$work/un" 2>/dev/null
grep -qvx 'QQ7\|ЯЯ2' "$work/un" && fail "accounts left unmarked by the list: $(grep -vx 'QQ7\|ЯЯ2' "$work/un" | head -3)"

"$gen" "$work/d.txt" --deals 10 --sep ';' --dec ';' 2>/dev/null && fail "equal separators accepted"
[ $fails = 0 ] || exit 1
echo "PASS"
