#!/usr/bin/env bash
# The project's test command: installs what is missing, builds and runs the native
# suite, builds the fuzz preset and replays its corpora, builds the sanitizer presets
# and runs the link code's tests under them when that code changed since they last
# passed, then cross-builds for Windows and runs the same suite under Wine, then
# compiles the 32-bit Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

bash scripts/setup-deps.sh

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
# The rooms' arrows (docs/architecture.md): includes and what each program links.
bash scripts/check-layers.sh build/native
# A test that fails once is run again; one that fails twice fails the run.
bash scripts/ctest-retry.sh --preset native

echo "== fuzz preset: builds whole; every target with a committed corpus replays it"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
# Every target with a committed corpus (fuzz/corpus/<target>/) runs each input once.
for corpus in fuzz/corpus/*/; do
  t="$(basename "$corpus")"
  if ! build/fuzz/fuzz/"$t" -runs=0 "fuzz/corpus/$t" >build/fuzz/"$t".log 2>&1; then
    tail -n 40 build/fuzz/"$t".log
    echo "fuzz replay failed: $t"
    exit 1
  fi
  echo "fuzz replay: $t, $(ls "fuzz/corpus/$t" | wc -l) inputs, no fault"
done

# Both sanitizer presets built whole and their tests of the link code run, once per
# change of that code (the script says when it skips them).
bash scripts/sanitizer-stage.sh

echo "== Windows x86_64 build and tests under Wine"
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 -j "$jobs"
bash scripts/wine-ctest.sh

echo "== Windows i686 build (compiled only)"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
echo "== all stages passed"
