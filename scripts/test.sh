#!/usr/bin/env bash
# Builds and runs every test (core GoogleTest, offscreen Qt Test, command line).
#   scripts/test.sh                 normal build
#   scripts/test.sh --sanitize      the same under AddressSanitizer and UBSan
#   scripts/test.sh --preset NAME   another configuration (nogui: no windows, no Qt)
# Options after "--" go to ctest, as in scripts/test.sh --preset nogui -- -LE slow.
set -euo pipefail
cd "$(dirname "$0")/.."
build_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  build_args+=("$1")
  shift
done
[ $# -gt 0 ] && shift
dir=$(bash scripts/build.sh "${build_args[@]}" | tail -n 1)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Tests never touch the real settings and state folders.
export XDG_CONFIG_HOME=$(mktemp -d)
export XDG_STATE_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"' EXIT
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
