#!/usr/bin/env bash
# Fetches the SQLite amalgamation (sqlite3.c and sqlite3.h) that the Windows
# build compiles, and unpacks the two files into
# <build-folder>/sqlite-amalgamation/. Nothing is fetched when they are there
# already. The Linux build uses the system's libsqlite3 instead.
#
# Where it comes from, in this order:
#   1. the pinned npm package sqlite3@6.0.1, which carries the unmodified
#      official source archive of SQLite 3.52.0; both archives are checked
#      against their known sha256 sums;
#   2. when npm or its registry cannot be reached (a machine that reaches
#      only Debian's archive): Debian's source package of sqlite3, the very
#      version and patches of the Linux build's libsqlite3, checked by apt
#      against the archive's signed index; the amalgamation is generated from
#      it (needs dpkg-dev, tcl, make and a C compiler).
# SQLITE_FROM=debian skips the first.
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
# How long npm may try before the registry counts as unreachable.
npm_limit_s=90

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

# Leaves sqlite3.c and sqlite3.h in $work/out; false when the registry
# cannot be reached. A package that arrives but fails its check ends the run.
from_npm() {
  command -v npm >/dev/null 2>&1 || return 1
  (cd "$work" && timeout "$npm_limit_s" npm pack --silent --fetch-retries=1 "$package" \
    >/dev/null 2>&1) || return 1
  check "$work/$package_file" "$package_sha256"
  tar -xzf "$work/$package_file" -C "$work" "$inner"
  check "$work/$inner" "$inner_sha256"
  tar -xzf "$work/$inner" -C "$work" "$source_folder/sqlite3.c" "$source_folder/sqlite3.h"
  mkdir -p "$work/out"
  mv "$work/$source_folder/sqlite3.c" "$work/$source_folder/sqlite3.h" "$work/out/"
}

# The machine's own Debian sources, as source-package entries in a list
# folder of ours: the system's apt configuration is not touched.
write_source_entries() {  # folder
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && sed 's/^Types:.*/Types: deb-src/' "$file" >"$1/$(basename "$file")"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] && grep -E '^deb ' "$file" | sed 's/^deb /deb-src /' >>"$1/system.list"
  done
  return 0
}

from_debian() {
  local apt_dir="$work/apt"
  mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  write_source_entries "$apt_dir/parts"
  local options=(-q -o "APT::Sandbox::User=root" -o "Dir::Etc::SourceList=/dev/null"
                 -o "Dir::Etc::SourceParts=$apt_dir/parts" -o "Dir::State::Lists=$apt_dir/lists"
                 -o "Dir::Cache=$apt_dir/cache")
  apt-get "${options[@]}" update >/dev/null
  (cd "$work" && apt-get "${options[@]}" source --download-only sqlite3 >/dev/null 2>&1)
  # The files were checked by apt; the .dsc's own signature needs a keyring
  # that a plain machine lacks, so dpkg-source only warns about it.
  (cd "$work" && dpkg-source -x sqlite3_*.dsc src >/dev/null 2>&1)
  mkdir -p "$work/src/amalgamation"
  (cd "$work/src/amalgamation" && ../configure >/dev/null && make sqlite3.c >/dev/null)
  mkdir -p "$work/out"
  mv "$work/src/amalgamation/sqlite3.c" "$work/src/amalgamation/sqlite3.h" "$work/out/"
}

if [ "${SQLITE_FROM:-}" != debian ] && from_npm; then
  origin="npm package $package"
else
  echo "npm registry not reachable: generating the amalgamation from Debian's source package"
  from_debian
  origin="Debian source package"
fi

rm -rf "$target.tmp"
mkdir -p "$target.tmp"
mv "$work/out/sqlite3.c" "$work/out/sqlite3.h" "$target.tmp/"
rm -rf "$target"
mv "$target.tmp" "$target"
version="$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$target/sqlite3.h")"
echo "SQLite $version amalgamation ($origin) in $target"
