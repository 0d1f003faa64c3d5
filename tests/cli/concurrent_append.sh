#!/usr/bin/env bash
# Several drsprep-batch exports append to one table at the same moment, again
# and again: every process that exits 0 has all its rows in the table, each
# exactly once, and no other rows appear or vanish.
#   Args: <path-to-drsprep-batch> <source-dir> [generator] [processes, default 8] [runs, default 4]
set -u
. "$(dirname "$0")/setup.bash"
procs=${4:-8}
runs=${5:-4}
need_tools python3
mkdir -p "$work/out"
example_settings "$work/out"
cd "$work"
table=$work/out/DEALS.DBF

# Rows per export, and a first table to append to.
"$batch" export --yes --mode overwrite --broker START >"$work/first" 2>&1 || { cat "$work/first"; exit 1; }
rows=$(sed -n 's/^Записей в выходном файле: //p' "$work/first")
[ -n "$rows" ] && [ "$rows" -gt 0 ] || { echo "FAIL: no row count: $(cat "$work/first")"; exit 1; }

# Rows of the table per broker account (one account per process).
brokers() {
  python3 - "$table" <<'EOF'
import collections, struct, sys
data = open(sys.argv[1], 'rb').read()
count, hl, rl = struct.unpack('<IHH', data[4:12])
if len(data) < hl + count * rl:
    print('DAMAGED'); sys.exit()
fields, pos, off = {}, 32, 1
while data[pos] != 0x0D:
    d = data[pos:pos + 32]
    fields[d[:11].rstrip(b'\0').decode()] = (off, d[16])
    off += d[16]
    pos += 32
o, n = fields['BROCID']
seen = collections.Counter()
for i in range(count):
    rec = data[hl + i * rl: hl + (i + 1) * rl]
    seen[rec[o:o + n].decode('cp1251').strip()] += 1
print('TOTAL %d' % count)
for k, v in sorted(seen.items()):
    print('%s %d' % (k, v))
EOF
}

for run in $(seq "$runs"); do
  before=$(brokers | sed -n 's/^TOTAL //p')
  pids=()
  for p in $(seq "$procs"); do
    "$batch" export --yes --mode append --broker "R${run}P${p}" >"$work/out.$p" 2>&1 &
    pids+=($!)
  done
  ok=0
  okList=()
  for p in $(seq "$procs"); do
    if wait "${pids[$((p - 1))]}"; then
      ok=$((ok + 1))
      okList+=("R${run}P${p}")
    fi
  done
  state=$(brokers)
  echo "$state" | grep -q DAMAGED && { fail "run $run: table damaged"; continue; }
  total=$(echo "$state" | sed -n 's/^TOTAL //p')
  [ "$total" = $((before + ok * rows)) ] ||
    fail "run $run: $total rows, expected $before + $ok x $rows"
  for b in "${okList[@]}"; do
    got=$(echo "$state" | sed -n "s/^$b //p")
    [ "$got" = "$rows" ] || fail "run $run: $b has ${got:-0} rows, expected $rows: $(tail -2 "$work/out.${b#*P}")"
  done
  # A refused process wrote nothing.
  for p in $(seq "$procs"); do
    b="R${run}P${p}"
    printf '%s\n' "${okList[@]}" | grep -qx "$b" && continue
    got=$(echo "$state" | sed -n "s/^$b //p")
    [ -z "$got" ] || fail "run $run: $b failed but left $got rows: $(cat "$work/out.$p")"
  done
  [ "$ok" -gt 0 ] || fail "run $run: no process got through: $(cat "$work/out.1")"
done

[ "$fails" = 0 ] && echo "OK: $runs runs of $procs appending processes" && exit 0
exit 1
