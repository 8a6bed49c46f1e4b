#!/usr/bin/env bash
# Runs the peer benchmark: our bus, ZeroMQ and iceoryx under one workload on this
# machine, and writes the table with the machine's description to docs/benchmarks.md.
#   scripts/bench.sh [extra peer_bench options, e.g. --duration 1000]
# Installs the peer libraries when missing (Debian packages), builds the native preset
# and runs one pass (about 5 minutes on 2 cores). Optionally profiles our side.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(libzmq3-dev iceoryx libiceoryx-posh-dev libiceoryx-hoofs-dev pkg-config linux-perf)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target peer_bench bus_host
bin=build/native/bench/peer_bench
[ -x "$bin" ] || { echo "bench: peer_bench was not built (peer libraries missing?)"; exit 1; }

table=$(mktemp)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$bin" --out "$table" "$@"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
# The runs' named events and bus objects stay in /dev/shm after their processes end.
rm -f /dev/shm/orvex-"$(id -u)"/*PeerBench* 2>/dev/null || true

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
mem=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
{
  echo "# Benchmarks: our bus against peer IPC systems"
  echo
  echo "Produced by \`scripts/bench.sh\` in one run of \`peer_bench\`; do not edit by hand."
  echo
  echo "Machine: $(nproc) CPUs, ${cpu}, ${mem} memory; $(uname -sr); $(date -u '+%Y-%m-%d %H:%M UTC')."
  echo "Load average (1/5/15 min) before the run: ${load_before}; after: ${load_after}."
  echo
  echo "Workload: one publisher process, N subscriber processes, one hub process, all on"
  echo "this machine. Values carry their send time (steady clock) and a sequence number;"
  echo "the rest of the value is filler. Each row: 2 s of publishing at a steady rate or"
  echo "flat out after a warm-up in which every subscriber has received a value."
  echo
  echo "- **orvex-v2 / orvex-classic**: our bus (\`bus_host\`) over V2 or classic links,"
  echo "  values as byte strings (type 7) on one topic addressed to the publisher's SID."
  echo "- **zmq**: ZeroMQ XSUB/XPUB proxy process over \`ipc://\`, PUB and SUB sockets,"
  echo "  high-water marks 100000 (PUB drops beyond them, so flat out loses values)."
  echo "- **iceoryx**: RouDi daemon as the hub, untyped publisher/subscribers, blocking"
  echo "  policies on both ends (no loss, like our bus)."
  echo
  echo "Figures: sent/s by the publisher; delivered/s summed over subscribers (from the"
  echo "first send to the last receive); lost % against sent × N; publish→receive latency"
  echo "percentiles over every delivery; CPU seconds of hub + publisher + subscribers per"
  echo "million deliveries; hub idle CPU in % of one core, measured for 1.5 s with the"
  echo "run's clients connected and quiet."
  echo
  cat "$table"
} > docs/benchmarks.md
rm -f "$table"
echo "bench: wrote docs/benchmarks.md"
