#!/usr/bin/env bash
# Puts SQLite's public-domain amalgamation (sqlite3.c, sqlite3.h) into the
# folder given, for the Windows build: Debian ships no SQLite for mingw-w64.
# It comes from the npm package better-sqlite3, whose tarball carries the
# amalgamation, at a pinned version checked against its SHA-256.
#   scripts/fetch-sqlite.sh build-windows/sqlite
set -euo pipefail
out=${1:?folder for sqlite3.c and sqlite3.h}
package=better-sqlite3@12.4.1  # SQLite 3.50.4
tarball_sha256=14398acbf00d1e8fe0a2753df7d4f15c13138e4b874f4e6e96791f65b4536d0d
sqlite_c_sha256=90b7189566ea710ee18361b25d893f5cda3fcf43033223a16384762f53e99a85
sqlite_h_sha256=abd1514e0351f79393d1be882830afdb40a8099e8257f311f0bfdf8486f11bea
if [ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ] &&
  echo "$sqlite_c_sha256  $out/sqlite3.c" | sha256sum -c --quiet 2>/dev/null &&
  echo "$sqlite_h_sha256  $out/sqlite3.h" | sha256sum -c --quiet 2>/dev/null; then
  exit 0
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && npm pack --silent "$package" >/dev/null)
tarball=$(ls "$tmp"/*.tgz)
echo "$tarball_sha256  $tarball" | sha256sum -c --quiet
tar -xzf "$tarball" -C "$tmp" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
echo "$sqlite_c_sha256  $tmp/package/deps/sqlite3/sqlite3.c" | sha256sum -c --quiet
echo "$sqlite_h_sha256  $tmp/package/deps/sqlite3/sqlite3.h" | sha256sum -c --quiet
mkdir -p "$out"
mv "$tmp/package/deps/sqlite3/sqlite3.c" "$tmp/package/deps/sqlite3/sqlite3.h" "$out/"
