#!/usr/bin/env bash
# drsprep-batch export and turnovers on a full disk (a file-size limit with
# SIGXFSZ ignored, and, as root, a small tmpfs), into a read-only table and a
# read-only folder: a message, a failing exit code, the earlier rows intact.
#   Args: <drsprep-batch> <source-dir> <drs_gen_report>
set -u
. "$(dirname "$0")/setup.bash"
mnt=$work/mnt
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run"
: >"$work/empty.txt"

need_tools ogr2ogr python3
generate_report 3000 3

check() {  # description, command that must succeed
  if ! eval "$2"; then
    echo "FAIL: $1" >&2
    fails=$((fails + 1))
  fi
}
export_to() {  # table, mode, extra options...
  local out=$1 mode=$2
  shift 2
  "$batch" export --format "$work/format.ini" --report "$work/deals.txt" --min 1 --max 99999999 \
    --replace-list "$work/empty.txt" --out "$out" --mode "$mode" --date 15.01.2024 --broker BR1 --yes "$@"
}
# Runs a command under a file-size limit in KB with SIGXFSZ ignored, so its
# writes past the limit fail with EFBIG. Its stdout and stderr go through
# pipes (the limit would stop its writes to our log files too).
limited() {  # KB, command...
  local kb=$1
  shift
  { ( trap '' XFSZ; ulimit -f "$kb"; "$@" ) 2>&1 1>&3 3>&- | cat >"$work/err"
    echo "${PIPESTATUS[0]}" >"$work/rc"; } 3>&1 | cat >"$work/stdout"
  return "$(cat "$work/rc")"
}
# Record count of a table, or "bad" when the header counts more than the file holds.
records() {
  python3 - "$1" <<'EOF'
import struct, sys
d = open(sys.argv[1], 'rb').read()
n, hl, rl = struct.unpack('<IHH', d[4:12])
print(n if len(d) >= hl + n * rl else 'bad')
EOF
}
# The first $3 records of two tables are the same bytes.
same_rows() {
  python3 - "$1" "$2" "$3" <<'EOF'
import struct, sys
a, b = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
hl, rl = struct.unpack('<HH', a[8:10] + a[10:12])
n = int(sys.argv[3])
sys.exit(0 if a[hl:hl + n * rl] == b[hl:hl + n * rl] and len(b) >= hl + n * rl else 1)
EOF
}

cd "$work/run" || exit 1
export_to "$work/base.dbf" overwrite >/dev/null 2>"$work/err" || { echo "FAIL: first export"; cat "$work/err"; exit 1; }
base=$(records "$work/base.dbf")
check "first export wrote rows" "[ '$base' -gt 2000 ]"

# 1. Append under a file-size limit a little above the table.
cp "$work/base.dbf" "$work/out.dbf"
size_kb=$(( $(stat -c %s "$work/out.dbf") / 1024 + 20 ))
limited $size_kb export_to "$work/out.dbf" append
rc=$?
check "append on a full disk fails (rc $rc)" "[ $rc -eq 1 ]"
check "append: write error shown" "grep -q 'Ошибка записи в выходной файл' '$work/err'"
check "append: reason shown" "grep -q 'Превышен допустимый размер файла' '$work/err'"
check "append: the table said unchanged" "grep -q '^Таблица out не изменена, записей в ней: $base$' '$work/err'"
check "append: the table byte for byte" "cmp -s '$work/base.dbf' '$work/out.dbf'"
n=$(records "$work/out.dbf")
check "append: ogr2ogr reads the counted rows" \
  "[ \$(ogr2ogr -f CSV /vsistdout/ '$work/out.dbf' | tail -n +2 | wc -l) -eq $n ]"

# 2. A new table when not even its header fits.
limited 0 export_to "$work/new.dbf" overwrite
rc=$?
check "new table on a full disk fails (rc $rc)" "[ $rc -ne 0 ]"
check "new table: a message" "grep -q 'Ошибка записи в выходной файл\|Не могу открыть файл' '$work/err'"
check "new table: no record count printed" "! grep -q 'Записей в выходном файле' '$work/stdout'"

# 3. Turnovers when their table cannot grow; the output table stays.
cp "$work/base.dbf" "$work/out.dbf"
before=$(md5sum <"$work/out.dbf")
limited 1 export_to "$work/out.dbf" append --turnovers by-account
rc=$?
check "turnovers on a full disk fail (rc $rc)" "[ $rc -ne 0 ]"
check "turnovers: a message" "grep -q 'Ошибка при расчете оборотов\|Ошибка записи в выходной файл' '$work/err'"
n=$(records "$work/out.dbf")
check "turnovers: output table sound" "[ '$n' != bad ] && same_rows '$work/base.dbf' '$work/out.dbf' $base"

# 4. A table marked read-only: neither cleared nor extended.
cp "$work/base.dbf" "$work/ro.dbf"
chmod 444 "$work/ro.dbf"
before=$(md5sum <"$work/ro.dbf")
export_to "$work/ro.dbf" overwrite >"$work/stdout" 2>"$work/err"
rc=$?
check "read-only table, overwrite: fails (rc $rc)" "[ $rc -eq 1 ]"
check "read-only table, overwrite: message" "grep -q 'Ошибка очистки выходного файла' '$work/err'"
check "read-only table, overwrite: unchanged" "[ \"\$(md5sum <'$work/ro.dbf')\" = '$before' ]"
export_to "$work/ro.dbf" append >"$work/stdout" 2>"$work/err"
rc=$?
check "read-only table, append: fails (rc $rc)" "[ $rc -eq 1 ]"
check "read-only table, append: message" "grep -q 'открыт только для чтения' '$work/err'"
check "read-only table, append: unchanged" "[ \"\$(md5sum <'$work/ro.dbf')\" = '$before' ]"

# 5. A real full file system and a read-only folder (root only: tmpfs).
mkdir -p "$mnt"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=200k tmpfs "$mnt" 2>/dev/null; then
  head -c $((289 + 148 * 300)) "$work/base.dbf" >"$mnt/out.dbf"
  python3 - "$mnt/out.dbf" <<'EOF'
import struct, sys
p = sys.argv[1]
d = bytearray(open(p, 'rb').read()); d[4:8] = struct.pack('<I', 300); open(p, 'wb').write(d)
EOF
  cp "$mnt/out.dbf" "$work/small.dbf"
  export_to "$mnt/out.dbf" append >"$work/stdout" 2>"$work/err"
  rc=$?
  check "tmpfs full: fails (rc $rc)" "[ $rc -eq 1 ]"
  check "tmpfs full: reason shown" "grep -q 'Нет места на диске' '$work/err'"
  n=$(records "$mnt/out.dbf")
  check "tmpfs full: table sound ($n)" "[ '$n' != bad ] && same_rows '$work/small.dbf' '$mnt/out.dbf' 300"

  mount -o remount,ro "$mnt"
  before=$(md5sum <"$mnt/out.dbf")
  export_to "$mnt/out.dbf" overwrite >"$work/stdout" 2>"$work/err"
  rc=$?
  check "read-only folder, overwrite: fails (rc $rc)" "[ $rc -eq 1 ]"
  check "read-only folder, overwrite: message" "grep -q 'Ошибка очистки выходного файла' '$work/err'"
  check "read-only folder: table unchanged" "[ \"\$(md5sum <'$mnt/out.dbf')\" = '$before' ]"
  export_to "$mnt/new.dbf" overwrite >"$work/stdout" 2>"$work/err"
  rc=$?
  check "read-only folder, new table: fails (rc $rc)" "[ $rc -eq 1 ]"
  check "read-only folder, new table: message" "grep -q 'Ошибка записи в выходной файл' '$work/err'"
  check "read-only folder, new table: nothing created" "[ ! -e '$mnt/new.dbf' ]"
  umount "$mnt"
else
  echo "note: no tmpfs (not root or no mount): the full file system cases are left out"
fi

[ $fails -eq 0 ] && echo "OK: full disk and read-only cases"
exit $((fails > 0))
