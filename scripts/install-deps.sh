#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks, the
# formatting check and the Debian package need (openbox, xprop and xdotool
# for the window tests under a window manager; xwd and ImageMagick's import
# for screenshots of the windows; mingw-w64 and Wine for the Windows build
# and its tests, npm to fetch SQLite's amalgamation for it).
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
  g++-mingw-w64-x86-64-posix wine wine64
)
# npm comes with Node.js where that is installed (NodeSource's conflicts
# with Debian's npm package).
command -v npm >/dev/null || PKGS+=(npm)
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${PKGS[@]}"
