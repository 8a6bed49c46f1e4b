#!/usr/bin/env bash
# Runs the mingw64 test suite under Wine: a fresh prefix in a temporary folder, a
# private Xvfb display and one persistent wineserver for the whole run (a server
# that stops between test processes costs seconds per test).
# Arguments are passed to ctest (e.g. -L transport, -R Name).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# Debian's wine64 has no preloader: it is an ordinary executable at 0x7d000000, and the
# kernel starts its heap anywhere in the 1 GiB above it. About one Wine process in a
# thousand (test or child) then has its heap on 0x7ff00000-0x7fff0000, where every
# Windows process must map its shared user data page: Wine exits at once with status 1
# ("failed to map the shared user data: c0000018", hidden by WINEDEBUG=-all). Without
# address randomization the heap starts right after the loader, far below. The whole run
# goes without it, so the server, wineboot and every process started from a test do too.
if (( (16#$(cat /proc/self/personality) & 16#0040000) == 0 )); then
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    exec setarch "$(uname -m)" -R bash "$0" "$@"
  fi
  echo "wine-ctest: address randomization cannot be turned off here; about one Wine start" \
    "in a thousand may fail with status 1 and no output" >&2
fi
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

export WINEPREFIX="$(mktemp -d /tmp/orvex-wine.XXXXXX)"
# Tells process tests that the registry and program-data folder their children see
# belong to this throwaway prefix, so they may write there. Set nowhere else.
export ORVEX_WINE_TEST_PREFIX=1
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
display=$(( 90 + RANDOM % 400 ))
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"

cleanup() {
  # The prefix's own server (WINEPREFIX names it): asked to end, then waited for, then
  # killed if it would not, all before the prefix goes, which it needs to be found by.
  "$wineserver" -k >/dev/null 2>&1 || true
  if ! timeout 20 "$wineserver" -w >/dev/null 2>&1; then
    "$wineserver" -k9 >/dev/null 2>&1 || true
    timeout 10 "$wineserver" -w >/dev/null 2>&1 || true
  fi
  kill "$xvfb_pid" >/dev/null 2>&1 || true
  wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# Bash runs no EXIT trap when a signal ends it: a stopped run would leave its server,
# display and prefix behind.
trap 'exit 130' INT
trap 'exit 143' TERM

for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
"$wineserver" -p </dev/null >/dev/null 2>&1 &
# A prefix that hangs while it is made must not hang the run: what follows finds out.
timeout 300 "$wine64" wineboot </dev/null >/dev/null 2>&1 || true
# wineboot can return before the prefix starts programs reliably; the first tests then
# failed in a few milliseconds with no output. Start programs until one runs cleanly.
for _ in $(seq 20); do
  timeout 60 "$wine64" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 && break
  sleep 0.5
done
# The desktop process starts with the first program that needs it and inherits that
# program's output; it ends only a moment after the last program left the desktop. Started
# by a test while another ran alongside, it held ctest's pipe from that test and kept the
# finished test "running" until the time-out. So it starts here, with no output of ours,
# and a program waiting on a pipe nobody writes (it holds both ends, so no end of input
# comes either) keeps it for the whole run; the server's end kills both.
keep_desktop="$WINEPREFIX/keep-desktop"
mkfifo "$keep_desktop"
"$wine64" cmd.exe /c pause <>"$keep_desktop" >/dev/null 2>&1 &
timeout 60 "$wine64" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
# Wine's background services inherit output pipes; keep ctest's own clean.
cd "$root"
bash "$root/scripts/ctest-retry.sh" --preset mingw64 "$@" </dev/null
