#!/bin/sh
# Builds the .deb from the finished build, checks its file list and dependencies, unpacks it
# and runs the unpacked program.
# Usage: check_package.sh <cpack> <build dir>
set -u
cpack="$1"
build="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*" >&2; status=1; }
status=0

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  exit 1
fi
deb="$(ls "$tmp"/out/*.deb)"

dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $6 }' | sort >"$tmp/files"
{
  for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
    echo "./usr/share/icons/hicolor/$size/apps/velk47120.png"
  done
  for file in bin/velk47120 bin/velk47120-cli lib/udev/rules.d/60-velk47120.rules \
      share/velk47120/VELK47120.html share/applications/velk47120.desktop \
      share/icons/hicolor/scalable/apps/velk47120.svg \
      share/metainfo/org.velk47120.Velk47120.metainfo.xml share/man/man1/velk47120.1.gz \
      share/man/man1/velk47120-cli.1.gz share/doc/velk47120/README.md share/doc/velk47120/LICENSE \
      share/doc/velk47120/copyright share/doc/velk47120/changelog.gz; do
    echo "./usr/$file"
  done
} | sort >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/files" >&2 || fail "the package's files differ from the layout (- expected, + packaged)"

# Runtime dependencies come from the libraries the program links.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6widgets6 libusb-1.0-0 libstdc++6; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done

dpkg-deb -x "$deb" "$tmp/root"
usr="$tmp/root/usr"
grep -q 'ATTR{idVendor}=="1e7a".*TAG+="uaccess"' "$usr/lib/udev/rules.d/60-velk47120.rules" ||
  fail "udev rule does not grant the card to the seat"

# The unpacked programs run; the window knows it is installed: its help is in share/velk47120.
mkdir -p "$tmp/home"
export HOME="$tmp/home" QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME XDG_DATA_HOME
"$usr/bin/velk47120-cli" --simulate identify | grep -q 'Product *VELK47120' ||
  fail "the unpacked velk47120-cli --simulate identify failed"
help="$(cd "$usr/bin" && ./velk47120 --help)" || fail "the unpacked velk47120 --help failed"
echo "$help" | grep -q "help file  *$usr/share/velk47120/VELK47120.html" ||
  fail "the unpacked program does not take its help from share/velk47120: $help"
echo "$help" | grep -q "configuration  *$tmp/home/.config/velk47120/Velk47120.cfg" ||
  fail "the unpacked program's configuration is not in the user's folder: $help"
exit $status
