#!/usr/bin/env bash
# Configures and builds into a build folder.
#   scripts/build.sh            -> build/        (RelWithDebInfo)
#   scripts/build.sh --sanitize -> build-asan/   (AddressSanitizer + UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  args=(-DCMAKE_BUILD_TYPE=Debug -DDRS_SANITIZE=ON -DDRS_BUILD_BENCH=OFF)
fi
# ccache, when the machine has it, makes rebuilds quick.
if command -v ccache >/dev/null; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
echo "$dir"
