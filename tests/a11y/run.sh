#!/bin/sh
# Starts the program against the simulated sensor on a private X server and session bus and
# reads its windows through AT-SPI, as a screen reader would. Usage: run.sh PROGRAM
set -eu
program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
# The system's Python, where the distribution's pyatspi lives (not a per-user one on PATH).
python=/usr/bin/python3
for tool in Xvfb xdotool dbus-run-session "$python"; do
  command -v "$tool" >/dev/null 2>&1 || {
    echo "a11y: $tool is missing; scripts/setup installs it" >&2
    exit 1
  }
done
"$python" -c 'import pyatspi' 2>/dev/null || {
  echo "a11y: python3-pyatspi is missing; scripts/setup installs it" >&2
  exit 1
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT INT TERM
# The parallel adapter at 0x378, so the window opens on the chip without asking.
printf 'Interface = 1\r\nPort Address = 888\r\nFactory = 0\r\nDevice Number = 47120\r\n' \
  >"$work/Velk47120.cfg"
cd "$work"
# Bounded whatever happens below: the test never outlives its budget.
timeout -k 5 170 dbus-run-session -- "$python" "$here/a11y_check.py" "$program"
