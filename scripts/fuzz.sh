#!/usr/bin/env bash
# Builds the libFuzzer programs with clang and runs each for N seconds
# (default 30) on a copy of its seed corpus. Fails on any crash, leak or
# sanitizer report.
#   scripts/fuzz.sh [seconds] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
shift || true
bash scripts/build.sh --preset fuzz >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in build-fuzz/fuzz/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  mkdir -p "$work/$name"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/$name/"
  echo "== $t for ${secs}s"
  (cd "$work" && "$OLDPWD/build-fuzz/fuzz/$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 "$work/$name" 2>"$work/$t.log") || { tail -50 "$work/$t.log"; exit 1; }
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+.*DONE' "$work/$t.log" | tail -3 || true
  echo "corpus: $(ls "$work/$name" | wc -l) files"
done
