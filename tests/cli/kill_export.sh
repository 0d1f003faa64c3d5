#!/usr/bin/env bash
# drsprep-batch export of 200,000 deals killed (SIGKILL) at random moments:
# overwriting a table, appending to one, creating one, and while the
# turnovers by account are written. After every kill the output table (and
# CLOb.DBF) must hold what it held before or the whole result of the same
# run left alone, as two kinds of reader see it: one that goes by the
# header's count and one that reads to the end mark 0x1A or the file's end
# (dbfread); both must read as many rows. Temporary files the run leaves
# beside the table are no table and are not looked at.
#   Args: <drsprep-batch> <source-dir> <drs_gen_report> [kills, default 24]
set -u
. "$(dirname "$0")/setup.bash"
kills_wanted=${4:-24}
: >"$work/empty.txt"
need_tools dbfdump ogrinfo
# The Debian package's dbfread belongs to the system's python3.
py=
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null && "$candidate" -c 'import dbfread' 2>/dev/null; then
    py=$candidate
    break
  fi
done
[ -n "$py" ] || { echo "SKIP: python3-dbfread missing"; exit 77; }

generate_report 200000 7
"$gen" "$work/small.txt" --deals 2000 --seed 8 >/dev/null || { echo "FAIL: cannot generate the report"; exit 1; }

# Runs one export in folder $1 (turnovers go there) into $1/OUT.DBF; then
# mode, report and further options. Run it in a subshell: the signal must
# reach the program itself.
export_in() {
  cd "$1" || exit 1
  exec "$batch" export --format "$work/format.ini" --report "$3" --min 1 --max 99999999 \
    --replace-list "$work/empty.txt" --out "$1/OUT.DBF" --mode "$2" --date 15.01.2024 --broker BR1 --yes \
    "${@:4}"
}

# The readings of a table: "count digest", where the digest covers the
# field descriptors and the rows as that reader reads them; "none" without
# a file. Readers: "header" (the records the header counts) and "dbfread"
# (records up to 0x1A or the file's end).
readings() {  # table...
  "$py" - "$@" <<'EOF'
import hashlib, os, struct, sys
from dbfread import DBF

def header_reading(path, data):
    if len(data) < 33 or data[0] != 3: return 'not a dBASE III file'
    count, hl, rl = struct.unpack('<IHH', data[4:12])
    if len(data) < hl + count * rl: return 'header counts %d records, %d whole on disk' % (count, (len(data) - hl) // rl)
    h = hashlib.sha256(data[10:12] + data[32:hl])
    rows = 0
    for i in range(count):
        rec = data[hl + i * rl:hl + (i + 1) * rl]
        if rec[:1] == b'*': continue
        h.update(rec[1:] + b'\n')
        rows += 1
    return '%d %s' % (rows, h.hexdigest()[:16])

def dbfread_reading(path, data):
    try:
        table = DBF(path, raw=True, load=False, encoding='cp1251')
        hl = table.header.headerlen
        h = hashlib.sha256(data[10:12] + data[32:hl])
        rows = 0
        for rec in table:
            h.update(b''.join(rec.values()) + b'\n')
            rows += 1
        return '%d %s' % (rows, h.hexdigest()[:16])
    except Exception as e:
        return 'dbfread fails: %r' % e

for path in sys.argv[1:]:
    if not os.path.exists(path):
        print('none\tnone'); continue
    data = open(path, 'rb').read()
    print('%s\t%s' % (header_reading(path, data), dbfread_reading(path, data)))
EOF
}

# A table made by a run left alone, checked by other readers: dbfdump and
# ogrinfo read the same rows, at least as many as given.
sound() {  # table, rows expected at least
  local n
  n=$(dbfdump -m "$1" 2>/dev/null | grep -c '^Record: ')
  [ "$n" -ge "$2" ] || { echo "FAIL: $1: dbfdump reads $n rows"; exit 1; }
  ogrinfo -ro -so -al "$1" 2>/dev/null | grep -qx "Feature Count: $n" || { echo "FAIL: $1: ogrinfo disagrees"; exit 1; }
}

# The tables before: the output table holds 1000 rows of the day; CLOb.DBF
# the turnovers of another, smaller day.
mkdir -p "$work/ref"
(export_in "$work/ref" overwrite "$work/deals.txt") >/dev/null 2>"$work/err" ||
  { echo "FAIL: reference export"; cat "$work/err"; exit 1; }
"$py" - "$work/ref/OUT.DBF" "$work/old.dbf" <<'EOF'
import struct, sys
d = open(sys.argv[1], 'rb').read()
hl, rl = struct.unpack('<HH', d[8:12])
n = 1000
open(sys.argv[2], 'wb').write(d[:4] + struct.pack('<I', n) + d[8:hl + n * rl] + b'\x1a')
EOF
(export_in "$work/ref" overwrite "$work/small.txt" --turnovers by-account) >/dev/null 2>&1 ||
  { echo "FAIL: reference turnovers"; exit 1; }
cp "$work/ref/CLOb.DBF" "$work/oldclob.dbf"

# The results of runs left alone, timed: a kill comes at a random moment
# within a run's time.
declare -A new ms
for kind in overwrite append create turnovers; do
  d=$work/ref/$kind
  mkdir -p "$d"
  mode=$kind
  case $kind in
    create) mode=overwrite ;;
    turnovers) mode=overwrite; cp "$work/oldclob.dbf" "$d/CLOb.DBF" ;;
  esac
  [ $kind = create ] || cp "$work/old.dbf" "$d/OUT.DBF"
  t0=$(date +%s%N)
  if [ $kind = turnovers ]; then
    (export_in "$d" $mode "$work/deals.txt" --turnovers by-account) >/dev/null 2>"$work/err"
  else
    (export_in "$d" $mode "$work/deals.txt") >/dev/null 2>"$work/err"
  fi || { echo "FAIL: $kind run left alone"; cat "$work/err"; exit 1; }
  ms[$kind]=$((($(date +%s%N) - t0) / 1000000))
  sound "$d/OUT.DBF" 90000
  new[$kind]=$(readings "$d/OUT.DBF")
  echo "$kind left alone: ${ms[$kind]} ms, rows and digest ${new[$kind]}"
done
sound "$work/ref/turnovers/CLOb.DBF" 1000
newclob=$(readings "$work/ref/turnovers/CLOb.DBF")
old=$(readings "$work/old.dbf")
oldclob=$(readings "$work/oldclob.dbf")
echo "before: $old; CLOb before: $oldclob, after: $newclob"
for r in "$old" "${new[@]}" "$oldclob" "$newclob"; do
  [ "${r%%	*}" = "${r#*	}" ] || { echo "FAIL: the two readers disagree on a table left alone: $r"; exit 1; }
done

# The turnovers' own time, and the size of the output table they follow.
turnover_ms=$((ms[turnovers] - ms[overwrite]))
[ $turnover_ms -ge 50 ] || turnover_ms=50
whole=$(stat -c %s "$work/ref/turnovers/OUT.DBF")

# Is the reading of a table one of those allowed?
one_of() {  # reading, allowed...
  local r=$1 a
  shift
  for a in "$@"; do [ "$r" = "$a" ] && return 0; done
  return 1
}

kills=0
runs=0
declare -A killed
kinds=(overwrite append create turnovers)
while [ $kills -lt "$kills_wanted" ] && [ $runs -lt $((kills_wanted * 3)) ]; do
  kind=${kinds[$((runs % 4))]}
  runs=$((runs + 1))
  d=$work/run$runs
  mkdir -p "$d"
  mode=$kind
  before=$old
  case $kind in
    create) mode=overwrite; before=$'none\tnone' ;;
    turnovers) mode=overwrite; cp "$work/oldclob.dbf" "$d/CLOb.DBF" ;;
  esac
  [ $kind = create ] || cp "$work/old.dbf" "$d/OUT.DBF"
  if [ $kind = turnovers ]; then
    (export_in "$d" $mode "$work/deals.txt" --turnovers by-account) >/dev/null 2>&1 &
    pid=$!
    # Turnovers are killed once the output table is whole, while they are
    # summed; or, every other time, once CLOb.DBF or a file beside it for it
    # is written.
    clob_was=$(stat -c %s.%i "$d/CLOb.DBF")
    for ((w = 0; w < ms[turnovers]; ++w)); do
      if [ $((runs / 4 % 2)) = 0 ]; then
        [ "$(stat -c %s "$d/OUT.DBF" 2>/dev/null)" = "$whole" ] && break
      else
        [ "$(stat -c %s.%i "$d/CLOb.DBF" 2>/dev/null)" != "$clob_was" ] && break
        compgen -G "$d/.CLOb.DBF.*.tmp~" >/dev/null && break
      fi
      kill -0 $pid 2>/dev/null || break
      sleep 0.002
    done
    if [ $((runs / 4 % 2)) = 0 ]; then
      delay_ms=$(((RANDOM * 32768 + RANDOM) % (turnover_ms + 1)))
    else
      delay_ms=$((RANDOM % 4))
    fi
  else
    (export_in "$d" $mode "$work/deals.txt") >/dev/null 2>&1 &
    pid=$!
    delay_ms=$(((RANDOM * 32768 + RANDOM) % (ms[$kind] + 1)))
  fi
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  if [ $? -eq 137 ]; then
    kills=$((kills + 1))
    killed[$kind]=$((${killed[$kind]:-0} + 1))
    how="killed after ${delay_ms} ms"
    [ $kind = turnovers ] && how="$how of the turnovers"
  else
    how="ended before the kill at ${delay_ms} ms"
    # The machine may be quicker now.
    if [ $kind = turnovers ]; then turnover_ms=$((turnover_ms * 3 / 4)); else ms[$kind]=$((ms[$kind] * 3 / 4)); fi
  fi
  got=$(readings "$d/OUT.DBF")
  verdict="the table as before"
  if [ "$got" = "${new[$kind]}" ]; then
    verdict="the whole new table"
  elif [ "$got" != "$before" ]; then
    verdict="neither the table before nor the new one"
    fail "run $runs ($kind, $how): $verdict: header, dbfread: $got"
    cp "$d/OUT.DBF" "/tmp/kill_export_failed_$runs.dbf" 2>/dev/null
  fi
  if [ $kind = turnovers ]; then
    clob=$(readings "$d/CLOb.DBF")
    if ! one_of "$clob" "$oldclob" "$newclob"; then
      fail "run $runs ($kind, $how): CLOb.DBF is neither the one before nor the new one: header, dbfread: $clob"
      verdict="$verdict; CLOb.DBF neither"
    elif [ "$clob" = "$newclob" ]; then
      verdict="$verdict; CLOb.DBF new"
    else
      verdict="$verdict; CLOb.DBF as before"
    fi
  fi
  echo "run $runs ($kind, $how): $verdict"
  rm -rf "$d"
done
echo "killed: ${killed[overwrite]:-0} overwriting, ${killed[append]:-0} appending, ${killed[create]:-0} creating," \
  "${killed[turnovers]:-0} during turnovers"
[ $fails -eq 0 ] || echo "$fails of $runs runs left a table that is neither"
[ $kills -ge "$kills_wanted" ] || fail "only $kills of $runs runs were killed mid-way"
[ $fails -eq 0 ] && echo "OK: $kills killed exports, every table the one before or the whole new one"
exit $((fails > 0))
