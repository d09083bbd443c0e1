#!/usr/bin/env bash
# A short scripted session: each line is one received text message, handed to
# morvane as the gateway would, with what it answers on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
home=$(mktemp -d "${TMPDIR:-/tmp}/morvane-demo.XXXXXX")
trap 'rm -rf "$home"' EXIT
export KAVREL_HOME="$home"
gateway_number=+15550000000

say() {  # say FROM TEXT...
  local from=$1
  shift
  printf '%s -> %s  %s\n' "$from" "$gateway_number" "$*"
  local reply
  reply=$("$bin/morvane" /s "$from" /r "$gateway_number" /t "$@")
  if [ -n "$reply" ]; then
    printf '%s <- %s  %s\n' "$from" "$gateway_number" "$reply"
  else
    printf '%s <- %s  (no reply on standard output)\n' "$from" "$gateway_number"
  fi
  echo
}

echo "Data directory: $home"
echo
say +15550001111 TEST hello there
say +15550001111 HELP
say +15550001111 INVITE somebody
say +15550002222 @Friends hello
