#!/usr/bin/env bash
# Runs the peer benchmark: our bus, ZeroMQ and iceoryx under one workload on this
# machine, plus the rows only our bus runs (large values, a slow reader, many topics,
# Excel-like readers, the subscribe storm, an idle large book), and the Excel side's
# rtd_bench. Writes the tables into docs/benchmarks.md and the latency picture to
# docs/benchmarks.png.
#   scripts/bench.sh [peer_bench options, e.g. --reps 1, --rows storm,topics]
# Only the parts between "<!-- bench.sh: NAME begin/end -->" markers are replaced; the
# rest of the file (the sections written by hand) stays as it stands. A part whose
# rows were not run (--rows) keeps what it had. Installs the peer libraries and perf
# when missing (setup-deps.sh --bench), builds the native preset and runs every row
# three times by default (about 15 minutes on 2 cores).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --bench

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target peer_bench bus_host rtd_bench
bin=build/native/bench/peer_bench
[ -x "$bin" ] || { echo "bench: peer_bench was not built (peer libraries missing?)"; exit 1; }

doc=docs/benchmarks.md
out=$(mktemp -d)
plot=$(mktemp)
trap 'rm -rf "$out" "$plot"' EXIT
partial=0
for arg in "$@"; do
  [ "$arg" = "--rows" ] && partial=1
done

started=$(date +%s)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$bin" --out-dir "$out" --plot "$plot" "$@"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
minutes=$((($(date +%s) - started + 30) / 60))
# The runs' named events and bus objects stay in /dev/shm after their processes end.
rm -f /dev/shm/orvex-"$(id -u)"/*PeerBench* 2>/dev/null || true

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
mem=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
when=$(date -u '+%Y-%m-%d %H:%M UTC')

# A part run alone says so, since the machine's description is the full run's.
if [ "$partial" = 1 ]; then
  for f in "$out"/*.md; do
    [ -e "$f" ] || continue
    { echo "*Re-run alone at commit ${commit} on ${when}; load average before ${load_before}," \
      "after ${load_after}.*"; echo; cat "$f"; } > "$f.new" && mv "$f.new" "$f"
  done
fi

if [ "$partial" = 0 ]; then
  cat > "$out/header.md" <<HEADER
Tables between \`bench.sh\` markers are produced by \`scripts/bench.sh\` in one run of
\`peer_bench\` (and \`rtd_bench\` for the Excel side); the sections marked "by hand" are
written by people and kept as they stand when the script runs again.

Machine: $(nproc) CPUs, ${cpu}, ${mem} memory; $(uname -sr); ${when}; commit ${commit}.
Load average (1/5/15 min) before the run: ${load_before}; after: ${load_after}. The run
took about ${minutes} min.

Workload: one publisher process, N subscriber processes, one hub process, all on
this machine. Values carry their send time (steady clock) and a sequence number;
the rest of the value is filler. Each run: 1 s of publishing at a steady rate or
flat out after a warm-up in which every subscriber has received a value; the idle
row sends three single values, each after 1 s in which nothing was sent. Steady
rates are paced to absolute times: the publisher sleeps until the next value is due
and then sends every value due by then. Every row is run three times (\`--reps\`);
figures are medians, [min–max] the spread of the runs; a run that failed is run once
more, which the last column says.

- **orvex-v2 / orvex-classic**: our bus (\`bus_host\`) over V2 or classic links,
  values as byte strings (type 7) on topics addressed to the publisher's SID;
  clients and bus sleep on the links' wake-up events between messages. The bus
  runs under its default slow-reader policy, conflate; **-block** rows under block
  (publishers are not read while a reader is behind), flat out only. Bounds: 64 KiB
  per link (\`bus_host --backlog 65536\`, the least the bus takes; its default is
  4 MiB) and the same for what the publisher holds unread (\`BusClient::SetLinkLimit\`),
  since flat out a value waits behind about a bound's worth of values in each; room
  for four values where values are larger; the bus's default, 4 MiB, in the
  many-topic, storm and idle-book rows (a hundred thousand topic messages are no
  values, so nothing conflates them).
- **zmq**: ZeroMQ XSUB/XPUB proxy process over \`ipc://\`, PUB and SUB sockets,
  high-water marks 100000 (PUB drops beyond them, so flat out loses values). With
  many topics each value leads with a 7-byte topic prefix and the subscriber holds
  one prefix subscription per topic.
- **zmq-lossless**: the same with \`ZMQ_XPUB_NODROP\` on the publisher and on the
  proxy's XPUB: a full queue refuses the send and the publisher sends again.
- **iceoryx**: RouDi daemon as the hub, untyped publisher/subscribers, blocking
  policies on both ends (no loss). RouDi serves all runs of its system, so its peak
  memory is over them all.

Figures: sent/s by the publisher; delivered/s summed over subscribers (from the
first send to the last receive); lost % against sent × N, not counting values a
conflating bus replaced by newer ones; conflated % those replaced values (only our
bus conflates); publish→receive latency percentiles over every delivery. CPU per
delivery in µs (the same number as CPU seconds per million deliveries): all
processes, then the hub, the publisher and the subscribers apart, from
\`/proc/<pid>/stat\` for the hub and the processes' own clocks for the others (10 ms
ticks for the hub: rows at 1000/s carry a few ticks only). Hub peak MiB: the hub
process's \`VmHWM\` at the end of the run. Hub system calls per value: counted by
\`perf stat -e raw_syscalls:sys_enter -p <hub>\` (in the kernel, without slowing the
hub as a tracer would) from just before the publishing starts to the last
subscriber's end, divided by the values sent. Hub idle CPU in % of one core, measured
once per system and fan-out for 1.5 s with the run's clients connected and quiet.
HEADER
  { echo "| measurement | time | memory / notes |"; echo "|---|---|---|"
    build/native/bench/rtd_bench; } > "$out/excel.md"
fi

# Replaces the part NAME of the document with FILE, or appends it (with its markers)
# when the document has no such part yet.
replace_part() {
  local name=$1 file=$2
  local begin="<!-- bench.sh: ${name} begin -->" end="<!-- bench.sh: ${name} end -->"
  if grep -qxF "$begin" "$doc" && grep -qxF "$end" "$doc"; then
    awk -v b="$begin" -v e="$end" -v f="$file" '
      $0 == b { print; while ((getline line < f) > 0) print line; close(f); skip = 1; next }
      $0 == e { skip = 0 }
      !skip { print }' "$doc" > "$doc.new"
    mv "$doc.new" "$doc"
  else
    { echo; echo "$begin"; cat "$file"; echo "$end"; } >> "$doc"
  fi
}

[ -f "$doc" ] || echo "# Benchmarks: our bus against peer IPC systems" > "$doc"
for part in header peers targets large slow topics storm idle-book excel; do
  [ -s "$out/$part.md" ] && replace_part "$part" "$out/$part.md"
done
echo "bench: updated docs/benchmarks.md"

# p50 (solid) and p99 (dashed) against the publisher's rate, one panel per fan-out.
if [ ! -s "$plot" ]; then
  echo "bench: no peer rows run, picture kept"
elif command -v gnuplot >/dev/null; then
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
