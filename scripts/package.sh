#!/usr/bin/env bash
# Builds the Debian package with Debian's release flags (dpkg-buildflags:
# -O2, stack protector, _FORTIFY_SOURCE, relro, bindnow) in build-release/
# and checks it: lintian without errors or warnings, the AppStream metainfo
# valid. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
args=(
  # Given on every configure, so a build folder made before takes them too;
  # the Release type adds only -DNDEBUG, not CMake's -O3.
  "-DCMAKE_C_FLAGS=$(flags CFLAGS) $(flags CPPFLAGS)"
  "-DCMAKE_CXX_FLAGS=$(flags CXXFLAGS) $(flags CPPFLAGS)"
  "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)"
  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG
)
bash scripts/build.sh --preset release "${args[@]}" >&2
rm -f build-release/drsprep_*.deb
(cd build-release && cpack -G DEB >&2)
deb=$(ls build-release/drsprep_*.deb)
appstreamcli validate --no-net build-release/package/*.metainfo.xml >&2
# Infos shown too; errors and warnings fail the build.
lintian --display-info --fail-on error,warning "$deb" >&2
echo "$deb"
