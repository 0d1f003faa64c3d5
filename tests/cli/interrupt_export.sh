#!/usr/bin/env bash
# SIGTERM and SIGINT while drsprep-batch writes its rows: the table is put
# back byte for byte, no temporary file stays beside it, and the program
# then ends by the signal as it was asked to.
#   Args: <drsprep-batch> <source-dir> <drs_gen_report>
set -u
. "$(dirname "$0")/setup.bash"
need_tools python3
: >"$work/empty.txt"
generate_report 300000 11

export_to() {  # mode; exec, so that the signal reaches the program itself, with
  # SIGINT as a terminal gives it (a background job starts with it ignored)
  exec python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])' \
    "$batch" export --format "$work/format.ini" --report "$work/deals.txt" --min 1 --max 99999999 \
    --replace-list "$work/empty.txt" --out "$work/OUT.DBF" --mode "$1" --date 15.01.2024 --broker BR1 --yes
}
(export_to overwrite) >/dev/null 2>&1 || { echo "FAIL: first export"; exit 1; }
before=$(md5sum <"$work/OUT.DBF")
size=$(stat -c %s "$work/OUT.DBF")

for pair in "overwrite TERM 143" "append INT 130" "overwrite INT 130" "append TERM 143"; do
  set -- $pair
  (export_to "$1") >/dev/null 2>"$work/err" &
  pid=$!
  # Once rows are being written: a file beside the table, or the table grown.
  for ((w = 0; w < 3000; ++w)); do
    compgen -G "$work/.OUT.DBF.*.tmp~" >/dev/null && break
    [ "$(stat -c %s "$work/OUT.DBF")" != "$size" ] && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.002
  done
  kill -"$2" $pid 2>/dev/null
  wait $pid
  rc=$?
  [ "$rc" = "$3" ] || fail "$1, SIG$2: exit $rc, expected $3 ($(tail -2 "$work/err"))"
  [ "$(md5sum <"$work/OUT.DBF")" = "$before" ] || fail "$1, SIG$2: the table changed"
  ! compgen -G "$work/.OUT.DBF.*" >/dev/null || fail "$1, SIG$2: a temporary file stayed: $(ls -a "$work")"
done
[ $fails -eq 0 ] && echo "OK: every signal left the table byte for byte"
exit $((fails > 0))
