#!/usr/bin/env bash
# Installs what is missing, builds the programs and plays the demo story: the
# gateway simulator hands each text message to morvane and shows every
# message the gateway is asked to send.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DMORVANE_TESTS=OFF >/dev/null
exec build/bin/kavrel-sim demo --clean
