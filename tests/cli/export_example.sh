#!/usr/bin/env bash
# drsprep-batch export on the bundled example: questions answered "Нет"
# without --yes, a new table read back by dbfdump and ogrinfo, append,
# overwrite, turnovers and the exit codes.
#   Args: <drsprep-batch> <source-dir> <drs_gen_report>
set -u
. "$(dirname "$0")/setup.bash"
need_tools dbfdump ogrinfo iconv
mkdir -p "$work/out" "$work/cwd"
example_settings "$work/out"
# Turnover tables go to the working folder.
cd "$work/cwd"
run() {  # expected exit code, then the arguments
  local want=$1
  shift
  "$batch" export "$@" >"$work/stdout" 2>"$work/stderr"
  local rc=$?
  [ "$rc" = "$want" ] || fail "export $* exited $rc, expected $want: $(cat "$work/stderr")"
}
table=$work/out/DEALS.DBF

# Without --yes the creation question is answered "Нет": no table.
run 1
grep -q "Создать файл $table ? Нет" "$work/stderr" || fail "no creation question: $(cat "$work/stderr")"
[ ! -e "$table" ] || fail "a table was created without --yes"

# Stored settings: order squeeze on, client squeeze off, overwrite.
run 0 --yes
grep -qx "Записей в выходном файле: 15" "$work/stdout" || fail "count: $(cat "$work/stdout")"
[ "$(stat -c %s "$table")" = $((289 + 15 * 148 + 1)) ] || [ "$(stat -c %s "$table")" = $((289 + 15 * 148)) ] ||
  fail "table size $(stat -c %s "$table")"

# The first order: 3 lots at 250.10 and 2 at 250.15 of SBER (lot 10).
dump=$(dbfdump "$table" | iconv -f cp1251 -t utf-8)
first=$(echo "$dump" | sed -n 2p | tr -s ' ')
[ "$first" = "150 SBER 1 250.12000 50.00000 900001 BRK01 " ] || fail "dbfdump first record: '$first'"
[ "$(echo "$dump" | wc -l)" = 16 ] || fail "dbfdump rows: $(echo "$dump" | wc -l)"
info=$(ogrinfo -al -q "$table" 2>&1)
for want in "CLIENTID (String) = 150" "TICKER (String) = SBER" "OPERTYPE (Integer) = 1" "PRICE (Real) = 250.12000" \
            "QTY (Real) = 50.00000" "DATES (Date) = 2026/12/07" "SDEL (String) = 900001" "BROCID (String) = BRK01"; do
  echo "$info" | grep -qF "$want" || fail "ogrinfo lacks '$want'"
done
[ "$(echo "$info" | grep -c '^OGRFeature')" = 15 ] || fail "ogrinfo features"

# Both squeezes and turnovers by security; the options win over the settings.
run 0 --yes --squeeze-clients --date 08.12.2026 --broker B2 --turnovers by-security
grep -qx "Записей в выходном файле: 15" "$work/stdout" || fail "count with both squeezes: $(cat "$work/stdout")"
grep -qx "$(printf 'GAZP\t120\t60\t60')" "$work/stdout" || fail "turnover GAZP: $(cat "$work/stdout")"
[ -e "$work/cwd/ShOb.DBF" ] || fail "ShOb.DBF not in the working folder"
ogrinfo -al -q "$table" | grep -qF "DATES (Date) = 2026/12/08" || fail "date option"
ogrinfo -al -q "$table" | grep -qF "BROCID (String) = B2" || fail "broker option"

# Append adds; the question text has no blank after the comma.
run 0 --yes --mode append --no-squeeze-orders --turnovers by-account
grep -q "Выходной файл существует,режим дозаписи, продолжать? Да" "$work/stderr" || fail "append question"
grep -qx "Записей в выходном файле: 36" "$work/stdout" || fail "count after append: $(cat "$work/stdout")"
[ -e "$work/cwd/CLOb.DBF" ] || fail "CLOb.DBF not in the working folder"

# Without --yes the overwrite question stops the run and the table stays.
before=$(md5sum < "$table")
run 1
grep -q "Выходной файл существует и будет перезаписан, продолжать? Нет" "$work/stderr" || fail "overwrite question"
[ "$(md5sum < "$table")" = "$before" ] || fail "table changed after \"Нет\""

# A bad date writes nothing, also in overwrite mode.
run 1 --yes --date 31.02.2026
[ "$(md5sum < "$table")" = "$before" ] || fail "table changed by a bad date"

# Append into a table without BROCID: every line is refused and reported,
# and the exit code says so.
python3 - "$work/out/SEVEN.DBF" <<'PY'
import struct, sys
fields = [(b'CLIENTID', b'C', 16, 0), (b'TICKER', b'C', 50, 0), (b'OPERTYPE', b'N', 6, 0), (b'PRICE', b'N', 20, 5),
          (b'QTY', b'N', 20, 5), (b'DATES', b'D', 8, 0), (b'SDEL', b'C', 11, 0)]
out = bytearray(b'\x03\x5f\x0c\x1c' + struct.pack('<IHH', 0, 32 * len(fields) + 33, 1 + sum(f[2] for f in fields)) + bytes(20))
pos = 1
for name, kind, length, dec in fields:
    out += name.ljust(11, b'\0') + kind + struct.pack('<I', pos) + bytes([length, dec]) + bytes(14)
    pos += length
out += b'\r'
open(sys.argv[1], 'wb').write(out)
PY
run 1 --yes --mode append --out "$work/out/SEVEN.DBF"
# The table lacks a column: reported once, nothing written.
[ "$(grep -c '^Ошибка записи в выходной файл$' "$work/stderr")" = 1 ] || fail "one report for the table: $(head -5 "$work/stderr")"
grep -qx "Таблица SEVEN не изменена, записей в ней: 0" "$work/stderr" || fail "table state: $(tail -3 "$work/stderr")"

# Usage errors.
run 2 --mode sideways
run 2 --turnovers by-day
run 2 --squeeze-orders --no-squeeze-orders

[ $fails = 0 ] || exit 1
echo "PASS"
