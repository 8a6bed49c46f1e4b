#!/usr/bin/env bash
# The sanitizer stage of scripts/test.sh, also run alone: both sanitizer presets built
# whole, then their tests of the link code (labels transport, bus, client) run.
#
# Cold it costs more than the rest of the test command, so it runs once per change of
# the code it covers, not on every run. .ci/sanitized-sources.sha256 holds the hash of
# that code as it was when the stage last passed, and is committed: a clone whose code
# matches it skips the stage. The hash is taken from the files' contents, so
# uncommitted edits count. A green stage rewrites the stamp: commit it with the change.
# ORVEX_SANITIZER_STAGE=always runs the stage anyway.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

# What the link code is built from; the shared objects live in platform/kernel.
sanitized_folders=(base platform/kernel threading protocol transport bus client)
stamp=.ci/sanitized-sources.sha256

sources_hash() {
  # Tracked files (as they are now) and new ones; a tracked file deleted here drops out.
  # Outside a git work tree (an unpacked archive) every file of the folders counts.
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard -- "${sanitized_folders[@]}"
  else
    find "${sanitized_folders[@]}" -type f -print0
  fi | LC_ALL=C sort -zu |
    while IFS= read -r -d '' file; do
      if [ -f "$file" ]; then sha256sum -- "$file"; fi
    done | sha256sum | cut -d' ' -f1
}

hash="$(sources_hash)"
if [ "${ORVEX_SANITIZER_STAGE:-changed}" != always ] && [ -f "$stamp" ] &&
   [ "$(cat "$stamp")" = "$hash" ]; then
  echo "== sanitizer stage: skipped, the link code is as it was when the stage last passed ($stamp)"
  exit 0
fi
stage_start=$SECONDS
for preset in native-asan native-tsan; do
  echo "== $preset: build whole, then the tests of the link code (transport, bus, client)"
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  built=$SECONDS
  # As the native suite: one retry, and every test that needed it named.
  bash scripts/ctest-retry.sh --preset "$preset" -L '^(transport|bus|client)$'
  echo "== $preset: built in $((built - start)) s, tested in $((SECONDS - built)) s"
done
echo "$hash" >"$stamp"
echo "== sanitizer stage: passed in $((SECONDS - stage_start)) s; $stamp rewritten, commit it with the change"
