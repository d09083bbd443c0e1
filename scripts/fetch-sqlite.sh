#!/usr/bin/env bash
# Fetches the SQLite amalgamation (sqlite3.c and sqlite3.h) that the Windows
# build compiles, from a pinned npm package that carries the unmodified
# official source archive, checks both archives against their known sha256
# sums, and unpacks the two files into <build-folder>/sqlite-amalgamation/.
# Nothing is fetched when they are there already. The Linux build uses the
# system's libsqlite3 instead.
#
#   scripts/fetch-sqlite.sh build-win
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <build-folder>" >&2
  exit 2
fi

package="sqlite3@6.0.1"
package_file="sqlite3-6.0.1.tgz"
package_sha256="ab8d044a93e05bd031d7ea75547c7fa60387cdc259d27f93c0e3e2832c4b1df9"
inner="package/deps/sqlite-autoconf-3520000.tar.gz"
inner_sha256="f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f"
source_folder="sqlite-autoconf-3520000"

mkdir -p "$1"
target="$(cd "$1" && pwd)/sqlite-amalgamation"
if [ -f "$target/sqlite3.c" ] && [ -f "$target/sqlite3.h" ]; then
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

check() {  # file, expected sha256
  local actual
  actual="$(sha256sum "$1" | cut -d' ' -f1)"
  if [ "$actual" != "$2" ]; then
    echo "sha256 mismatch for $(basename "$1"): got $actual, want $2" >&2
    exit 1
  fi
}

(cd "$work" && npm pack --silent "$package" >/dev/null)
check "$work/$package_file" "$package_sha256"
tar -xzf "$work/$package_file" -C "$work" "$inner"
check "$work/$inner" "$inner_sha256"
tar -xzf "$work/$inner" -C "$work" "$source_folder/sqlite3.c" "$source_folder/sqlite3.h"

mkdir -p "$target.tmp"
cp "$work/$source_folder/sqlite3.c" "$work/$source_folder/sqlite3.h" "$target.tmp/"
rm -rf "$target"
mv "$target.tmp" "$target"
echo "SQLite amalgamation in $target"
