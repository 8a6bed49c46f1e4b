#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
# Idempotent and quiet; safe to re-run.
#   scripts/setup-deps.sh           what the build and the tests need (CI)
#   scripts/setup-deps.sh --bench   what scripts/bench.sh needs besides: the peer
#                                   systems, perf and gnuplot for the picture
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev sqlite3
  libcli11-dev
  nats-server libnats-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 xvfb xauth
  mingw-w64-tools
  python3 python3-pytest python3-pip python3-setuptools python3-wheel
)
if [ "${1:-}" = "--bench" ]; then
  packages=(libzmq3-dev iceoryx libiceoryx-posh-dev libiceoryx-hoofs-dev pkg-config linux-perf
    gnuplot-nox)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
