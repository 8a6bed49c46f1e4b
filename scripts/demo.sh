#!/usr/bin/env bash
# The live demo: installs what is missing, builds, starts the bus (corvane), a small
# publisher and a subscriber, shows live values of the bus's ticker and of a published
# topic for a few seconds, then shuts everything down the way the system does (the bus
# gets SIGTERM, which closes its main window) and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${DEMO_SECONDS:-5}"

bash scripts/setup-deps.sh
echo "== building the bus and the vantel tool"
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target Corvane vantel >/dev/null

bin=build/native
work="$(mktemp -d /tmp/orvex-demo.XXXXXX)"
bus_pid="" pub_pid=""
cleanup() {
  [ -n "$pub_pid" ] && kill -TERM "$pub_pid" 2>/dev/null && wait "$pub_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill -TERM "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "== starting the bus"
# The bus's log lines go to a file of ours instead of the system log.
ORVEX_DEBUG_OUTPUT="$work/bus.log" "$bin/bus/app/corvane" 2>"$work/bus.err" &
bus_pid=$!
sleep 0.5
if ! kill -0 "$bus_pid" 2>/dev/null || grep -q "already running" "$work/bus.err"; then
  echo "demo: another Corvane is already running for this user; stop it first" >&2
  kill -TERM "$bus_pid" 2>/dev/null || true
  exit 1
fi

echo "== publisher DEMO: a random walk every 250 ms"
"$bin/tools/vantel" pub --sid DEMO --name "demo publisher" --source walk --start 100 \
  --step 0.5 --interval 250 >"$work/pub.out" &
pub_pid=$!

echo "== subscriber: @BUS:TICKER and @DEMO:ACME.LAST for ${seconds} s (topic, type, value)"
"$bin/tools/vantel" sub --name "demo subscriber" --duration "$((seconds * 1000))" \
  @BUS:TICKER @DEMO:ACME.LAST

echo "== shutting down"
kill -TERM "$pub_pid" && wait "$pub_pid" || true
pub_pid=""
kill -TERM "$bus_pid"
wait "$bus_pid"
status=$?
bus_pid=""
echo "== the bus ended with exit code $status; its last log lines:"
tail -n 4 "$work/bus.log"
exit "$status"
