#!/usr/bin/env bash
# Installs what is missing, builds the programs and plays a short scripted
# session against them in a temporary data directory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DMORVANE_TESTS=OFF >/dev/null
exec bash scripts/demo-session.sh
