#!/usr/bin/env bash
# Keeps the arrows of docs/architecture.md true: which room may include which, and what
# each program links. Usage: check-layers.sh <configured build dir>
# The include rules are read from the sources; the link rules from CMake's target graph
# of the build directory (written with --graphviz, which does not change the build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: check-layers.sh <configured build dir>}
failed=0

fail() {
  echo "layering: $*" >&2
  failed=1
}

# Lines `file:line:#include "x"` of the C++ files under the given folders.
includes() {
  grep -rnE --include='*.cpp' --include='*.h' --include='*.c' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$@" ||
    true
}

# forbid <what> <pattern of included paths> <folders...>: no file there includes them.
forbid() {
  local what=$1 pattern=$2
  shift 2
  local hits
  hits=$(includes "$@" | grep -E "#[[:space:]]*include[[:space:]]*\"($pattern)" || true)
  if [[ -n $hits ]]; then
    fail "$what"
    echo "$hits" >&2
  fi
}

# The bus server is a library of the data path; Corvane's windows, Excel and registry
# work belong to its program in bus/app.
bus_server=$(find bus -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
forbid "the bus server (bus/ outside bus/app/) includes a room of Corvane's program" \
  'ui/|excel/|registry/|resources/' $bus_server
# The client SDK speaks the protocol over the transport; it never reaches into the bus.
# (Its tests may run a bus in their own process.)
client_sdk=$(find client -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) ! -name '*_test.cpp' | sort)
forbid "client/ includes bus/" 'bus/' $client_sdk
# The bridge is a bus client like any other (its tests run a bus in their own process).
bridge_code=$(find bridge -type f \( -name '*.cpp' -o -name '*.h' \) ! -name '*_test.cpp' \
  ! -path 'bridge/testing/*' | sort)
forbid "bridge/ includes bus/" 'bus/' $bridge_code
# The data path links only the platform's kernel group: any other platform header in
# its code (tests may start processes) is a new dependency of the SDK.
other_headers=$(for group in host ui testing; do ls "platform/$group/include/platform"; done | sort -u)
pattern=$(echo "$other_headers" | sed 's/\./\\./; s/^/platform\//' | paste -sd'|')
data_path=$(find threading transport protocol client -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) \
  ! -name '*_test.cpp' | sort)
forbid "the data path (threading, transport, protocol, client) includes a platform header outside the kernel group" \
  "$pattern" $data_path
# The kernel group stands alone: it includes no header of the other groups, except the
# declarations of the test hooks it defines.
pattern=$(echo "$other_headers" | grep -vx 'test_hooks.h' | sed 's/\./\\./; s/^/platform\//' | paste -sd'|')
forbid "platform/kernel includes a header of another platform group" "$pattern" platform/kernel/include \
  platform/kernel/posix platform/kernel/win32

# Link rules: the programs meet only through windows, processes, the registry and shared
# memory, so neither links the other's rooms.
dot="$build_dir/layering/targets.dot"
mkdir -p "$build_dir/layering"
# One graph of the whole build, without a file per target.
printf 'set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)\nset(GRAPHVIZ_GENERATE_DEPENDERS FALSE)\n' \
  >"$build_dir/CMakeGraphVizOptions.cmake"
cmake --graphviz="$dot" "$build_dir" >/dev/null
# Everything a target links, directly or through others.
closure() {
  awk -v root="$1" '
    /\[ *label *=/ {
      match($0, /"node[0-9]+"/); id = substr($0, RSTART, RLENGTH)
      match($0, /label *= *"[^"]*"/); label = substr($0, RSTART, RLENGTH)
      sub(/label *= *"/, "", label); sub(/"$/, "", label)
      name[id] = label; if (label == root) start = id
    }
    match($0, /"node[0-9]+" *-> *"node[0-9]+"/) {
      edge = substr($0, RSTART, RLENGTH); split(edge, p, / *-> */)
      edges[p[1]] = edges[p[1]] " " p[2]
    }
    END {
      if (start == "") { print "?missing"; exit }
      queue[0] = start; seen[start] = 1; n = 1
      for (i = 0; i < n; i++) {
        k = split(edges[queue[i]], next_ids, " ")
        for (j = 1; j <= k; j++) if (!(next_ids[j] in seen)) { seen[next_ids[j]] = 1; queue[n++] = next_ids[j] }
      }
      for (id in seen) print name[id]
    }' "$dot"
}
# forbid_link <program> <targets...>: the program never links any of them.
forbid_link() {
  local program=$1
  shift
  local linked
  linked=$(closure "$program")
  if [[ $linked == "?missing" ]]; then
    fail "no target $program in $build_dir"
    return
  fi
  for target in "$@"; do
    if grep -qx "$target" <<<"$linked"; then
      fail "$program links $target"
    fi
  done
}
forbid_link Corvane system registration setup Pendrel
forbid_link Pendrel bus corvane_app Corvane

if ((failed)); then
  echo "layering: see docs/architecture.md for the arrows" >&2
  exit 1
fi
echo "layering: include and link rules hold"
