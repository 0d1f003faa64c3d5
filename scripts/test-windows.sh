#!/usr/bin/env bash
# Cross-builds the core and drsprep-batch for Windows (preset windows,
# mingw-w64), runs the core's tests under Wine, then compares the Windows
# program with the Linux one on the same inputs (scripts/compare-windows.sh:
# the example and a generated day of 200,000 deals). Needs the Linux build
# (scripts/build.sh) for drsprep-batch and drs_gen_report; builds it when
# missing. `--zip` also makes the zip (cpack -G ZIP).
#   scripts/test-windows.sh [--zip]
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEPREFIX=$(mktemp -d)
export XDG_CONFIG_HOME=$(mktemp -d) XDG_STATE_HOME=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"' EXIT

bash scripts/fetch-sqlite.sh build-windows/sqlite
bash scripts/build.sh --preset windows >/dev/null
[ -x build/src/batch/drsprep-batch ] && [ -x build/tools/drs_gen_report ] || bash scripts/build.sh >/dev/null

# Wine makes its prefix on the first run.
wine build-windows/src/batch/drsprep-batch.exe --version

# The core's tests that hold on Windows. Left out, each for its reason:
# - the XDG rules and the program's name as POSIX spells them (AppPaths,
#   ExeName: Windows' is drscore_tests.exe);
# - names that differ only in letter case are one file on Windows
#   (NamesAreOneFileOrRefused, FollowsTheWorkingFolderAndReplacesOtherSpellings);
# - another program removing, recreating or renaming over a table this one
#   holds open, which Windows does not let it do (RecreatedFileBetweenStatementsIsSeen,
#   RepeatedInsertSeesOtherWritersAndReplacedFiles, ARecordChangedBeforeItIsReadBackIsAMismatch).
excluded=AppPaths.FoldersFollowTheXdgRulesAndNeverTheWorkingFolder:ExeName.NamesTheTestProgram
excluded+=:ExportTransactionTest.NamesAreOneFileOrRefused:TurnoversTest.FollowsTheWorkingFolderAndReplacesOtherSpellings
excluded+=:EngineTest.RecreatedFileBetweenStatementsIsSeen:EngineTest.RepeatedInsertSeesOtherWritersAndReplacedFiles
excluded+=:ReconciliationTest.ARecordChangedBeforeItIsReadBackIsAMismatch
wine build-windows/tests/drscore_tests.exe --gtest_filter="-$excluded"

# The command-line tests with the Windows program in place of the Linux one.
# Left out: exit_codes (Windows reports a write to a full stdout without its
# reason, and finds settings under USERPROFILE without HOME), diskfull_export
# (the file-size limit it sets also stops the Wine server), interrupt_export
# and kill_export (POSIX signals), man_page (the Linux manual).
wrapper=$(mktemp -d)
printf '#!/bin/sh\nexec wine %s "$@"\n' "$PWD/build-windows/src/batch/drsprep-batch.exe" >"$wrapper/drsprep-batch"
chmod +x "$wrapper/drsprep-batch"
failed=0
for name in list_example export_example export_control export_refusals gen_report concurrent_append; do
  if bash "tests/cli/$name.sh" "$wrapper/drsprep-batch" "$PWD" "$PWD/build/tools/drs_gen_report" >"$wrapper/log" 2>&1; then
    echo "cli $name under Wine: passed"
  else
    echo "cli $name under Wine: FAILED"
    cat "$wrapper/log"
    failed=1
  fi
done
rm -rf "$wrapper"
[ "$failed" = 0 ]

bash scripts/compare-windows.sh build/src/batch/drsprep-batch build-windows/src/batch/drsprep-batch.exe \
  build/tools/drs_gen_report 200000

if [ "${1:-}" = --zip ]; then
  (cd build-windows && cpack -G ZIP >/dev/null)
  ls build-windows/drsprep-batch-*-win64.zip
fi
