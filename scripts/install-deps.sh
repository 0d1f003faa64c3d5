#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks, the
# formatting check and the Debian package need (openbox, xprop and xdotool
# for the window tests under a window manager; xwd and ImageMagick's import
# for screenshots of the windows).
# Idempotent; safe to run on a machine that has them already.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
PKGS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev libabsl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  file qt6-translations-l10n
  librsvg2-bin appstream lintian
  xvfb xauth fonts-dejavu-core
  openbox x11-utils xdotool x11-apps imagemagick
  shapelib gdal-bin python3-dbfread
)
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${PKGS[@]}"
