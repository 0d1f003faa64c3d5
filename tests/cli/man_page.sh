#!/usr/bin/env bash
# The manual page of drsprep-batch names every option its --help names.
#   Args: <drsprep-batch> <source-dir>
set -u
. "$(dirname "$0")/setup.bash"
page=$src/man/drsprep-batch.1.in
for command in list export; do
  for option in $("$batch" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "${option//-/\\-}" "$page" || fail "$command $option is not in $page"
  done
done
[ "$fails" = 0 ] || exit 1
echo "OK"
