#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, when it is
# missing. Run as root (or with sudo available).
set -euo pipefail

# kannel and kannel-extras: the end-to-end tests behind a real SMS gateway.
packages=(cmake g++ ninja-build pkg-config libsqlite3-dev libgtest-dev libgmock-dev
          googletest clang libclang-rt-14-dev kannel kannel-extras)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
