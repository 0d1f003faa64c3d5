#!/usr/bin/env bash
# drsprep-batch export --control on the bundled example: the control lines
# against the marked deals of `list` and the table read by a reader of its
# own; an append reconciles only the rows it added.
#   Args: <path-to-drsprep-batch> <source-dir>
set -u
. "$(dirname "$0")/setup.bash"
need_tools python3
mkdir -p "$work/out"
example_settings "$work/out"
cd "$work"

# The marked deals as `list` shows them: security, direction, price, lots.
"$batch" list > list.txt 2>/dev/null || fail "list"

# Checks control.txt: deals from list.txt (lots by the example's list),
# rows written from the records after the first `skip` of the table.
check() {  # skip, what
  python3 - "$1" "$work/list.txt" "$work/control.txt" "$work/out/DEALS.DBF" <<'PY' || fail "$2"
import struct, sys
skip, listing, control, table = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
lots = {'SBER': 10, 'GAZP': 10, 'RU000A0JX0J2': 1}
want, order = {}, []
def line(key):
    if key not in want:
        want[key] = [0, 0.0, 0.0, 0, 0.0, 0.0]
        order.append(key)
    return want[key]
for row in open(listing, encoding='utf-8').read().splitlines()[1:]:
    f = row.split('\t')
    if f[-1] != '1':
        continue
    pieces = float(f[6]) * lots.get(f[3], 100)
    l = line((f[3], 'B' if f[4] == 'B' else 'S'))
    l[0] += 1; l[1] += pieces; l[2] += float(f[5]) * pieces
data = open(table, 'rb').read()
count, header, size = struct.unpack('<IHH', data[4:12])
fields, pos = [], 32
while data[pos] != 0x0D:
    fields.append((data[pos:pos + 11].split(b'\0')[0].decode(), data[pos + 16]))
    pos += 32
for r in range(skip, count):
    rec, at, v = data[header + r * size:header + (r + 1) * size], 1, {}
    if rec[:1] == b'*':
        continue
    for name, length in fields:
        v[name] = rec[at:at + length].decode('cp1251').strip()
        at += length
    l = line((v['TICKER'], 'B' if v['OPERTYPE'] == '1' else 'S'))
    l[3] += 1; l[4] += float(v['QTY']); l[5] += float(v['PRICE']) * float(v['QTY'])
got = [l.split('\t') for l in open(control, encoding='utf-8').read().splitlines()]
ok = len(got) == len(order) + 1
for key, g in zip(order, got):
    w = want[key]
    ok &= len(g) == 8 and tuple(g[:2]) == key and int(g[2]) == w[0] and float(g[3]) == w[1]
    ok &= abs(float(g[4]) - w[2]) < 0.006 and int(g[5]) == w[3] and float(g[6]) == w[4]
    ok &= abs(float(g[7]) - w[5]) < 0.006
total = got[-1] if got else []
sums = [sum(w[i] for w in want.values()) for i in range(6)]
ok &= len(total) == 9 and total[:3] == ['ИТОГО', '', ''] and int(total[3]) == sums[0]
ok &= float(total[4]) == sums[1] and int(total[6]) == sums[3] and float(total[7]) == sums[4]
if not ok:
    print('\n'.join('\t'.join(g) for g in got), '\nwanted', [(k, want[k]) for k in order])
sys.exit(0 if ok else 1)
PY
}

# Overwrite with the stored settings (order squeeze on): stdout holds only
# the control lines, the record count goes to stderr.
"$batch" export --yes --control >control.txt 2>err.txt || fail "export --control exited $?: $(cat err.txt)"
grep -qx "Записей в выходном файле: 15" err.txt || fail "record count on stderr: $(cat err.txt)"
check 0 "control lines of the overwrite"
"$batch" export --yes >plain.txt 2>/dev/null || fail "export without --control"
grep -qx "Записей в выходном файле: 15" plain.txt || fail "without --control stdout keeps the count"

# Both squeezes, appended: only the 15 rows before stay out of the sums.
"$batch" export --yes --control --mode append --squeeze-clients >control.txt 2>err.txt ||
  fail "append exited $?: $(cat err.txt)"
check 15 "control lines of the append"

[ $fails = 0 ] || exit 1
echo "PASS"
