#!/usr/bin/env bash
# The project's test command: installs what is missing, builds and runs the native
# suite, then cross-builds for Windows and runs the same suite under Wine, then
# compiles the 32-bit Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

bash scripts/setup-deps.sh

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
# A test that fails once is run again; one that fails twice fails the run.
bash scripts/ctest-retry.sh --preset native

echo "== Windows x86_64 build and tests under Wine"
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 -j "$jobs"
bash scripts/wine-ctest.sh

echo "== Windows i686 build (compiled only)"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
echo "== all stages passed"
