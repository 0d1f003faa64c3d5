#!/usr/bin/env bash
# Configures and builds one of the configurations in CMakePresets.json and
# prints its build folder on stdout; the build's own lines, a compiler's
# errors among them, go to stderr, so callers that keep only the folder
# still show why a build failed.
#   scripts/build.sh                   -> build/        (preset dev)
#   scripts/build.sh --sanitize        -> build-asan/   (preset asan)
#   scripts/build.sh --preset NAME [-DVAR=VALUE ...]
# DRS_WERROR=ON in the environment turns warnings into errors (CI).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=dev
case "${1:-}" in
  --sanitize) preset=asan; shift ;;
  --preset) preset=$2; shift 2 ;;
esac
# Given on every configure, so a folder configured before follows the environment.
args=("$@" "-DDRS_WERROR=${DRS_WERROR:-OFF}")
# ccache, when the machine has it, makes rebuilds quick.
if command -v ccache >/dev/null; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
configured=$(cmake --preset "$preset" "${args[@]}")
cmake --build --preset "$preset" -j "$(nproc)" >&2
# The preset's build folder, as CMake reports it.
sed -n 's/^-- Build files have been written to: //p' <<<"$configured" | tail -n 1
