#!/usr/bin/env bash
# Plays a short group story behind a real Kannel SMS gateway on this host:
# installs what is missing (kannel and kannel-extras among it; as root or
# with sudo), builds the programs and installs them into a temporary
# prefix, starts bearerbox and smsbox on free ports of 127.0.0.1 with a
# configuration made from examples/kannel.conf, and lets kannel-phones play
# the phones on the gateway's fake SMSC. Shows what every phone received;
# everything it started is stopped and its temporary folder removed at the
# end, also after a failure.
#
#   bash scripts/kannel-demo.sh [--quiet] [--build-dir DIR] [--no-build]
#
# --quiet prints nothing and exits 0 when every phone received what it
# should, 1 otherwise. DIR is the build folder (default build/).
# --no-build takes the programs already built in DIR and installs nothing
# from Debian (the test command runs it so).
set -euo pipefail
cd "$(dirname "$0")/.."

quiet=0
build=build
build_it=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quiet) quiet=1 ;;
    --build-dir) build="$2"; shift ;;
    --no-build) build_it=0 ;;
    *) echo "usage: $0 [--quiet] [--build-dir DIR] [--no-build]" >&2; exit 2 ;;
  esac
  shift
done

# The gateway's number: the operator's morvanectl POST reads it from
# ReceiveSMSCommand1 of HOLLIN.INI, where it must be a phone number.
readonly receiving=+15550000000
readonly owner=+15550001111 owner_password=demo-owner-pw
readonly ann=+15550002222 bob=+15550003333
readonly start_timeout_s=30

say() { if [ "$quiet" -eq 0 ]; then echo "$@"; fi; }
quietly() { if [ "$quiet" -eq 1 ]; then "$@" >/dev/null 2>&1; else "$@"; fi; }

if [ "$build_it" -eq 1 ]; then
  quietly bash scripts/setup.sh
  jobs=$(nproc 2>/dev/null || echo 2)
  quietly cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  quietly cmake --build "$build" -j"$jobs" --target morvane morvanectl morvane-kannel kannel-phones
fi

work=$(mktemp -d -t morvane-kannel-demo.XXXXXX)
pids=()
stop_everything() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop_everything EXIT

prefix=$work/prefix home=$work/home conf=$work/kannel.conf
quietly cmake --install "$build" --prefix "$prefix"

# Ports of 127.0.0.1 that nothing listens on, each a different one, below
# the system's ephemeral range (32768 and up on Linux), where the ports of
# other programs' connections and of free-port listeners come from: one of
# them could take a port between this look and the boxes' bind.
listening() { (: <"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
taken=" "
pick_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 12000))
    if [[ "$taken" != *" $port "* ]] && ! listening "$port"; then break; fi
  done
  taken+="$port "
  printf -v "$1" '%s' "$port"
}
pick_port admin_port; pick_port box_port; pick_port smsc_port; pick_port sendsms_port
wait_listening() {
  local tries=$((start_timeout_s * 10))
  until listening "$1"; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then echo "nothing listens on 127.0.0.1:$1" >&2; exit 1; fi
    sleep 0.1
  done
}

# The example with this run's ports, files, programs and the owner's account
# as the sendsms-user (SubmissionURL passes it as @@USER@@ and @@PASSWORD@@).
awk -v admin="$admin_port" -v box="$box_port" -v smsc="$smsc_port" -v sendsms="$sendsms_port" \
    -v dir="$work" -v bin="$prefix/bin/" -v user="$owner" -v password="$owner_password" '
  /^group = / { group = $3 }
  group == "core" && /^admin-port = / { $0 = "admin-port = " admin }
  group == "core" && /^smsbox-port = / { $0 = "smsbox-port = " box }
  group == "core" && /^log-file = / { $0 = "log-file = \"" dir "/bearerbox.log\"" }
  group == "core" && /^access-log = / { $0 = "access-log = \"" dir "/access.log\"" }
  group == "smsc" && /^port = / { $0 = "port = " smsc }
  group == "smsbox" && /^bearerbox-port = / { $0 = "bearerbox-port = " box }
  group == "smsbox" && /^sendsms-port = / { $0 = "sendsms-port = " sendsms }
  group == "smsbox" && /^log-file = / { $0 = "log-file = \"" dir "/smsbox.log\"" }
  group == "sendsms-user" && /^username = / { $0 = "username = \"" user "\"" }
  group == "sendsms-user" && /^password = / { $0 = "password = \"" password "\"" }
  /^exec = / { sub("/usr/local/bin/", bin) }
  { print }' examples/kannel.conf >"$conf"

mkdir -p "$home"
printf '[Users]\n%s=%s\n' "$owner" "$owner_password" >"$home/USERS.INI"
printf '[HOLLIN]\nSubmissionURL=%s\n' \
  "http://127.0.0.1:$sendsms_port/cgi-bin/sendsms?username=@@USER@@&password=@@PASSWORD@@&from=@@SENDER@@&to=@@RECIP@@&text=@@TEXT@@&charset=UTF-8&coding=@@CODING@@" \
  >"$home/HOLLIN.INI"
printf 'ReceiveSMSCommand1=kannel\tkannel\tkannel\t%s\n' "$receiving" >>"$home/HOLLIN.INI"

# -v 4: the boxes keep their logs in their files; smsbox's standard error
# holds what the exec services wrote to theirs.
/usr/sbin/bearerbox -v 4 "$conf" >"$work/bearerbox.out" 2>&1 &
pids+=($!)
wait_listening "$box_port"
KAVREL_HOME=$home /usr/sbin/smsbox -v 4 "$conf" >"$work/smsbox.out" 2>"$work/smsbox.stderr" &
pids+=($!)
wait_listening "$sendsms_port"

say "Kannel on 127.0.0.1: fake SMSC port $smsc_port, sendsms port $sendsms_port"
say "Gateway number $receiving; the owner's account $owner; data directory $home"

cat >"$work/story.txt" <<EOF
# The owner creates a group by text message
$owner $receiving CREATE Friends
# Two subscribers join it
$ann $receiving JOIN Friends Ann
$bob $receiving JOIN Friends Bob
# A post fans out to every other member
$ann $receiving @Friends hello everyone
# A private message reaches one member
$bob $receiving @Friends:Ann see you at 8
EOF
cat >"$work/story-after-operator.txt" <<EOF
# The operator posts with morvanectl ADMIN Friends POST: every member gets it
- $receiving
# STOP leaves every group
$ann $receiving STOP
EOF

status=0
"$build/bin/kannel-phones" "$smsc_port" "$work/story.txt" >"$work/phones.out" || status=1
KAVREL_HOME=$home "$prefix/bin/morvanectl" ADMIN Friends POST Meeting moved to 9 || status=1
"$build/bin/kannel-phones" "$smsc_port" "$work/story-after-operator.txt" >>"$work/phones.out" ||
  status=1
say "$(cat "$work/phones.out")"

# What the story must have shown, line for line.
expected=(
  "  $owner <- $receiving  Group Friends created."
  "  $owner <- $receiving  @Friends:Ann hello everyone"
  "  $bob <- $receiving  @Friends:Ann hello everyone"
  "  $ann <- $receiving  Message forwarded to 2 member(s) of group Friends"
  "  $ann <- $receiving  @Friends:Bob (private) see you at 8"
  "  $ann <- $receiving  @Friends:Admin Meeting moved to 9"
  "  $bob <- $receiving  @Friends:Admin Meeting moved to 9"
  "  $ann <- $receiving  Goodbye.  You have left the group Friends"
)
for line in "${expected[@]}"; do
  grep -qF -- "$line" "$work/phones.out" || { say "missing: $line"; status=1; }
done

say ""
say "== The operator lists the members of Friends with morvanectl"
say "$(KAVREL_HOME=$home "$prefix/bin/morvanectl" ADMIN Friends LIST | tr -d '\r')"
if [ -s "$work/smsbox.stderr" ]; then
  say ""
  say "== What the programs wrote to standard error"
  say "$(cat "$work/smsbox.stderr")"
fi
exit "$status"
