#!/usr/bin/env bash
# drsprep-batch export of 100,000 deals killed (SIGKILL) at random moments:
# the output table must always be a sound dBASE file - every record the
# header counts is whole on disk; dbfdump, ogrinfo and ogr2ogr read the same
# rows as the file holds - and in append mode the rows that were there before stay.
#   Args: <drsprep-batch> <source-dir> <drs_gen_report> [kills, default 25]
set -u
. "$(dirname "$0")/setup.bash"
runs=${4:-25}  # exports killed mid-way
: >"$work/empty.txt"
need_tools dbfdump ogrinfo ogr2ogr python3

generate_report 100000 7

export_to() {  # table, mode; run it in a subshell: the signal must reach the program itself
  exec "$batch" export --format "$work/format.ini" --report "$work/deals.txt" --min 1 --max 99999999 \
    --replace-list "$work/empty.txt" --out "$1" --mode "$2" --date 15.01.2024 --broker BR1 --yes
}

# Checks one table; with a second file, its records must open the table
# byte for byte. Prints the record count.
check_table() {
  python3 - "$@" <<'EOF'
import csv, io, struct, subprocess, sys

path = sys.argv[1]
data = open(path, 'rb').read()
def fail(msg):
    print('FAIL: %s: %s' % (path, msg)); sys.exit(1)
if len(data) < 33 or data[0] != 3: fail('not a dBASE III file')
count, hl, rl = struct.unpack('<IHH', data[4:12])
if data[hl - 1] != 0x0D: fail('no header terminator')
if len(data) < hl + count * rl: fail('header counts %d records, only %d whole on disk' % (count, (len(data) - hl) // rl))
fields = []
pos = 32
while data[pos] != 0x0D:
    d = data[pos:pos + 32]
    fields.append((d[:11].rstrip(b'\0').decode(), chr(d[11]), d[16]))
    pos += 32
names = [f[0] for f in fields]
own = []
for i in range(count):
    rec = data[hl + i * rl: hl + (i + 1) * rl]
    if rec[0:1] != b' ': fail('record %d has flag %r' % (i, rec[0:1]))
    off, row = 1, []
    for name, typ, length in fields:
        row.append(rec[off:off + length].decode('cp1251').strip())
        off += length
    own.append(row)

def same(kind, a, b):
    if kind == 'N':
        return (a == '' and b == '') or (a != '' and b != '' and abs(float(a) - float(b)) < 1e-6)
    if kind == 'D':
        return a.replace('/', '').replace('-', '') == b
    return a == b

# dbfdump -m: "Record: n" then "NAME: value" lines (dates are not printed).
out = subprocess.run(['dbfdump', '-m', path], capture_output=True, check=True).stdout.decode('cp1251')
dump, cur = [], None
for line in out.splitlines():
    if line.startswith('Record: '):
        cur = {}; dump.append(cur)
    elif cur is not None and ': ' in line:
        k, v = line.split(': ', 1); cur[k] = v.strip()
if len(dump) != count: fail('dbfdump reads %d rows, header counts %d' % (len(dump), count))
for i, (d, o) in enumerate(zip(dump, own)):
    for (name, typ, _), v in zip(fields, o):
        if typ != 'D' and not same(typ, d.get(name, ''), v): fail('dbfdump row %d %s: %r vs %r' % (i, name, d.get(name), v))

out = subprocess.run(['ogr2ogr', '-f', 'CSV', '/vsistdout/', path], capture_output=True, check=True).stdout.decode('cp1251')
ogr = list(csv.reader(io.StringIO(out)))
if ogr[0] != names: fail('ogr2ogr columns %r' % ogr[0])
if len(ogr) - 1 != count: fail('ogr2ogr reads %d rows, header counts %d' % (len(ogr) - 1, count))
for i, (g, o) in enumerate(zip(ogr[1:], own)):
    for (name, typ, _), a, b in zip(fields, g, o):
        if not same(typ, a, b): fail('ogr2ogr row %d %s: %r vs %r' % (i, name, a, b))

info = subprocess.run(['ogrinfo', '-ro', '-so', '-al', path], capture_output=True, check=True).stdout.decode('cp1251')
features = [l for l in info.splitlines() if l.startswith('Feature Count: ')]
if features != ['Feature Count: %d' % count]: fail('ogrinfo says %r, header counts %d' % (features, count))

if len(sys.argv) > 2:
    base = open(sys.argv[2], 'rb').read()
    bcount = struct.unpack('<I', base[4:8])[0]
    if count < bcount: fail('append lost rows: %d before, %d now' % (bcount, count))
    if data[hl:hl + bcount * rl] != base[hl:hl + bcount * rl]: fail('rows that were there before changed')
print(count)
EOF
}

fails=0
# A whole run first: the reference table and the time a run takes.
t0=$(date +%s%N)
(export_to "$work/full.dbf" overwrite) >/dev/null 2>"$work/err" || { echo "FAIL: full export"; cat "$work/err"; exit 1; }
t1=$(date +%s%N)
total_ms=$(( (t1 - t0) / 1000000 ))
full=$(check_table "$work/full.dbf") || { echo "$full"; exit 1; }
[ "$full" -ge 90000 ] || { echo "FAIL: full export wrote only $full rows"; exit 1; }
echo "full export: $full rows in ${total_ms} ms"
# The table appended to holds 1000 earlier rows.
python3 - "$work/full.dbf" "$work/base.dbf" <<'EOF'
import struct, sys
d = open(sys.argv[1], 'rb').read()
hl, rl = struct.unpack('<HH', d[8:12])
n = 1000
open(sys.argv[2], 'wb').write(d[:4] + struct.pack('<I', n) + d[8:hl + n * rl])
EOF

# Runs until $runs exports were killed mid-way; a run that ends before its
# kill narrows the window of later kills (the machine may be quicker now).
kills=0
window_ms=$total_ms
i=0
while [ $kills -lt "$runs" ] && [ $i -lt $((runs * 3)) ]; do
  i=$((i + 1))
  case $((i % 3)) in
    0) mode=append; cp "$work/base.dbf" "$work/out.dbf" ;;
    1) mode=overwrite; cp "$work/full.dbf" "$work/out.dbf" ;;
    2) mode=overwrite; rm -f "$work/out.dbf" ;;  # created by the run
  esac
  delay_ms=$(( (RANDOM * 32768 + RANDOM) % (window_ms + 1) ))
  (export_to "$work/out.dbf" $mode) >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  if [ $? -eq 137 ]; then
    kills=$((kills + 1))
    how="killed after ${delay_ms} ms"
  else
    how="ended before the kill at ${delay_ms} ms"
    window_ms=$((window_ms * 3 / 4))
  fi
  if [ ! -e "$work/out.dbf" ]; then
    echo "run $i ($mode, $how): no table yet"
    continue
  fi
  if [ $mode = append ]; then
    rows=$(check_table "$work/out.dbf" "$work/base.dbf")
  else
    rows=$(check_table "$work/out.dbf")
  fi
  if [ $? -ne 0 ]; then
    echo "run $i ($mode, $how): $rows"
    cp "$work/out.dbf" "/tmp/kill_export_failed_$i.dbf"
    fails=$((fails + 1))
  else
    echo "run $i ($mode, $how): $rows rows, sound"
  fi
done
[ $kills -ge "$runs" ] || { echo "FAIL: only $kills of $i runs were killed mid-way"; fails=$((fails + 1)); }
[ $fails -eq 0 ] && echo "OK: $kills killed exports, every table sound"
exit $((fails > 0))
