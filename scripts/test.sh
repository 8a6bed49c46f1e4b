#!/usr/bin/env bash
# The project's test command: installs what is missing, builds and runs the native
# suite, builds the fuzz preset and replays its corpora, builds the sanitizer presets
# and runs the link code's tests under them when that code changed, then cross-builds
# for Windows and runs the same suite under Wine, then compiles the 32-bit Windows build.
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

# The sanitizer presets build whole on every run: with the compiler cache warm that is
# mostly cache hits and links, minutes at most, and it keeps every preset buildable.
# Their tests of the link code (labels transport, bus, client: some 260 tests, several
# times slower under the sanitizers than natively) run once per change of that code,
# not on every run, or the whole run would not stay well under 30 minutes on two cores.
# "Change" is measured against the code of the last run in which they passed, recorded
# in each build tree, so a fresh clone runs them once. The platform layer counts as link
# code too: the shared objects live there. ORVEX_SANITIZER_TESTS=always runs them anyway.
link_code_hash() {
  local folders=(platform transport bus client)
  {
    git rev-parse "${folders[@]/#/HEAD:}" 2>/dev/null || true
    git diff HEAD -- "${folders[@]}" 2>/dev/null || true
    git ls-files --others --exclude-standard -- "${folders[@]}" 2>/dev/null | sort |
      xargs -r sha1sum || true
  } | sha1sum | cut -d' ' -f1
}
link_hash="$(link_code_hash)"
for preset in native-asan native-tsan; do
  echo "== $preset: build whole"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  stamp="build/$preset/.link-tests-passed"
  if [ "${ORVEX_SANITIZER_TESTS:-changed}" != always ] && [ -f "$stamp" ] &&
     [ "$(cat "$stamp")" = "$link_hash" ]; then
    echo "== $preset: link code unchanged since its tests last passed here; not run again"
    continue
  fi
  echo "== $preset: tests of the link code (transport, bus, client)"
  bash scripts/ctest-retry.sh --preset "$preset" -L '^(transport|bus|client)$'
  echo "$link_hash" >"$stamp"
done

echo "== Windows x86_64 build and tests under Wine"
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 -j "$jobs"
bash scripts/wine-ctest.sh

echo "== Windows i686 build (compiled only)"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
echo "== all stages passed"
