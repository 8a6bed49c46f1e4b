#!/usr/bin/env bash
# Runs the peer benchmark: our bus, ZeroMQ and iceoryx under one workload on this
# machine, and writes the table with the machine's description to docs/benchmarks.md
# and the latency picture to docs/benchmarks.png.
#   scripts/bench.sh [extra peer_bench options, e.g. --reps 1]
# Installs the peer libraries when missing (setup-deps.sh --bench), builds the native
# preset and runs one pass: every row three times (about 10 minutes on 2 cores).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --bench

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target peer_bench bus_host rtd_bench
bin=build/native/bench/peer_bench
[ -x "$bin" ] || { echo "bench: peer_bench was not built (peer libraries missing?)"; exit 1; }

table=$(mktemp)
plot=$(mktemp)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$bin" --out "$table" --plot "$plot" "$@"
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
  echo "the rest of the value is filler. Each run: 1 s of publishing at a steady rate or"
  echo "flat out after a warm-up in which every subscriber has received a value; the idle"
  echo "row sends three single values, each after 1 s in which nothing was sent. Every"
  echo "row is run three times; figures are medians, [min–max] the spread of the runs; a"
  echo "run that failed is run once more, which the last column says."
  echo
  echo "- **orvex-v2 / orvex-classic**: our bus (\`bus_host\`) over V2 or classic links,"
  echo "  values as byte strings (type 7) on one topic addressed to the publisher's SID;"
  echo "  clients and bus sleep on the links' wake-up events between messages. The bus"
  echo "  runs under its default slow-reader policy, conflate; **-block** rows under block"
  echo "  (publishers are not read while a reader is behind), flat out only. Bounds: 64 KiB"
  echo "  per link (\`bus_host --backlog 65536\`, the least the bus takes; its default is"
  echo "  4 MiB) and the same for what the publisher holds unread (\`BusClient::SetLinkLimit\`),"
  echo "  since flat out a value waits behind about a bound's worth of values in each."
  echo "- **zmq**: ZeroMQ XSUB/XPUB proxy process over \`ipc://\`, PUB and SUB sockets,"
  echo "  high-water marks 100000 (PUB drops beyond them, so flat out loses values)."
  echo "- **zmq-lossless**: the same with \`ZMQ_XPUB_NODROP\` on the publisher and on the"
  echo "  proxy's XPUB: a full queue refuses the send and the publisher sends again."
  echo "- **iceoryx**: RouDi daemon as the hub, untyped publisher/subscribers, blocking"
  echo "  policies on both ends (no loss)."
  echo
  echo "Figures: sent/s by the publisher; delivered/s summed over subscribers (from the"
  echo "first send to the last receive); lost % against sent × N, not counting values a"
  echo "conflating bus replaced by newer ones; conflated % those replaced values (only our"
  echo "bus conflates); publish→receive latency percentiles over every delivery; CPU"
  echo "seconds of hub + publisher + subscribers per million deliveries; hub idle CPU in %"
  echo "of one core, measured once per system and fan-out for 1.5 s with the run's"
  echo "clients connected and quiet."
  echo
  echo "![p50 and p99 latency against rate](benchmarks.png)"
  echo
  cat "$table"
  echo
  echo "## The Excel side (\`rtd_bench\`)"
  echo
  echo "The KelRTD server's portable core and bus link against a bus in the same process:"
  echo "publisher send to the server's UpdateNotify post at 1000 values/s (Excel's refresh"
  echo "taken at once after each), one refresh of many changed cells, and one Excel holding"
  echo "the most topics the bus gives a client. Targets: UpdateNotify within 1 ms at p99,"
  echo "a refresh of 100,000 cells under 50 ms, under 200 bytes per open topic in the DLL."
  echo
  echo "| measurement | time | memory / notes |"
  echo "|---|---|---|"
  build/native/bench/rtd_bench
} > docs/benchmarks.md
rm -f "$table"
echo "bench: wrote docs/benchmarks.md"

# p50 (solid) and p99 (dashed) against the publisher's rate, one panel per fan-out.
if command -v gnuplot >/dev/null; then
  systems=$(cut -f1 "$plot" | awk '!seen[$0]++' | tr '\n' ' ')
  fanouts=$(cut -f2 "$plot" | sort -n | uniq | tr '\n' ' ')
  n=$(echo "$fanouts" | wc -w)
  gnuplot <<PLOT
set terminal pngcairo size $((480 * n)),420 font ",9"
set output "docs/benchmarks.png"
set datafile separator "\t"
set logscale xy
set xlabel "sent values/s (median)"
set ylabel "latency µs"
set key top left font ",8"
set grid
systems = "$systems"
set multiplot layout 1,$n title "p50 (solid) and p99 (dashed) latency against rate"
do for [f in "$fanouts"] {
  set title sprintf("1 → %s", f)
  plot for [i=1:words(systems)] "$plot" using (\$2 == f+0 && strcol(1) eq word(systems, i) ? \$3 : NaN):4 \\
         with linespoints lc i lw 2 pt 7 title word(systems, i), \\
       for [i=1:words(systems)] "$plot" using (\$2 == f+0 && strcol(1) eq word(systems, i) ? \$3 : NaN):5 \\
         with linespoints lc i dt 2 pt 6 notitle
}
unset multiplot
PLOT
  echo "bench: wrote docs/benchmarks.png"
else
  echo "bench: gnuplot missing, no picture"
fi
rm -f "$plot"
