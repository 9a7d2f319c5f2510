#!/bin/sh
# Installs the build into a fresh prefix and checks every file a user's machine needs.
# Usage: check_install.sh <cmake> <build dir>
set -u
cmake="$1"
build="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

if ! "$cmake" --install "$build" --prefix "$prefix" >/dev/null; then
  echo "cmake --install failed" >&2
  exit 1
fi

status=0
for file in bin/velk47120 \
            bin/velk47120-cli \
            bin/VELK47120.html \
            share/applications/velk47120.desktop \
            share/icons/hicolor/scalable/apps/velk47120.svg \
            lib/udev/rules.d/60-velk47120.rules; do
  if [ ! -s "$prefix/$file" ]; then
    echo "missing: $file" >&2
    status=1
  fi
done
for program in velk47120 velk47120-cli; do
  [ -x "$prefix/bin/$program" ] || { echo "not executable: bin/$program" >&2; status=1; }
done
# The help window opens the help file from the executable's own folder, at its topics.
grep -q '<a name="topics">' "$prefix/bin/VELK47120.html" 2>/dev/null ||
  { echo "help file beside the executable has no list of topics" >&2; status=1; }
grep -q '^Exec=velk47120' "$prefix/share/applications/velk47120.desktop" 2>/dev/null ||
  { echo "desktop entry does not start velk47120" >&2; status=1; }
grep -q 'ATTR{idVendor}=="1e7a".*TAG+="uaccess"' "$prefix/lib/udev/rules.d/60-velk47120.rules" 2>/dev/null ||
  { echo "udev rule does not grant the card to the seat" >&2; status=1; }
exit $status
