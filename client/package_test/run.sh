#!/usr/bin/env bash
# Installs the client SDK from BUILD_DIR into a fresh prefix, builds the outside project
# beside this script against it twice (find_package, then pkg-config), and runs both
# builds against a bus started with BUS_HOST.   run.sh BUILD_DIR BUS_HOST WORK_DIR
set -euo pipefail
build_dir=$1 bus_host=$2 work=$3
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work" && mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log"

# CMake package.
cmake -S "$here" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log"
cmake --build "$work/cmake" >"$work/build.log"

# pkg-config, from wherever the tree was installed.
pc_dir=$(dirname "$(find "$prefix" -name orvex-client.pc)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs orvex-client)
libdir=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir orvex-client)
# No rpath of our own: the .pc of a prefix outside the system's brings it.
cc -Wall -Werror "$here/consumer.c" $flags -o "$work/consumer_pc"
case "$flags" in *"-Wl,-rpath,$libdir"*) ;; *) echo "no rpath in: $flags"; exit 1 ;; esac

bus="Local\\OrvexPkg$$"
"$bus_host" "$bus" &
bus_pid=$!
trap 'kill "$bus_pid" 2>/dev/null; wait "$bus_pid" 2>/dev/null || true' EXIT
for consumer in "$work/cmake/consumer" "$work/consumer_pc"; do
  # The bus may still be starting: a consumer that found none is run again.
  for attempt in 1 2 3 4 5; do
    if out=$("$consumer" "$bus" 2>&1); then break; fi
    [ "$attempt" = 5 ] && { echo "$consumer: $out"; exit 1; }
    sleep 0.5
  done
  case "$out" in "ticker "*) echo "$consumer: $out" ;; *) echo "unexpected: $out"; exit 1 ;; esac
done

# Python: the installed module on the PYTHONPATH the install printed finds the library
# beside it; a module installed by pip finds it through ORVEX_CLIENT_LIBRARY.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
pythonpath=$(sed -n 's/.*Python module: PYTHONPATH=//p' "$work/install.log")
[ -n "$pythonpath" ] || { echo "the install printed no PYTHONPATH"; exit 1; }
sub=(-m orvex sub --bus "$bus" --count 1 @BUS:TICKER)
out=$(cd "$work" && env -u ORVEX_CLIENT_LIBRARY PYTHONPATH="$pythonpath" "$python" "${sub[@]}")
case "$out" in "@BUS:TICKER	int32	"*) echo "installed module: $out" ;; *) echo "unexpected: $out"; exit 1 ;; esac
# From a copy: building in place would leave build files in the source tree.
cp -r "$here/../../python" "$work/python-src"
"$python" -m pip install --quiet --no-build-isolation --no-deps --no-index \
  --target "$work/pip" "$work/python-src" >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
library=$(find "$prefix" -name 'liborvex_client.so.*' | head -n 1)
out=$(cd "$work" && ORVEX_CLIENT_LIBRARY="$library" PYTHONPATH="$work/pip" "$python" "${sub[@]}")
case "$out" in "@BUS:TICKER	int32	"*) echo "pip-installed module: $out" ;; *) echo "unexpected: $out"; exit 1 ;; esac
