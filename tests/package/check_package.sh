#!/bin/sh
# Builds the .deb from the finished build, checks its control fields and file list, unpacks it
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
sort >"$tmp/expected" <<'LIST'
./usr/bin/velk47120
./usr/lib/udev/rules.d/60-velk47120.rules
./usr/share/applications/velk47120.desktop
./usr/share/doc/velk47120/LICENSE
./usr/share/doc/velk47120/README.md
./usr/share/doc/velk47120/changelog.gz
./usr/share/doc/velk47120/copyright
./usr/share/icons/hicolor/128x128/apps/velk47120.png
./usr/share/icons/hicolor/16x16/apps/velk47120.png
./usr/share/icons/hicolor/22x22/apps/velk47120.png
./usr/share/icons/hicolor/24x24/apps/velk47120.png
./usr/share/icons/hicolor/256x256/apps/velk47120.png
./usr/share/icons/hicolor/32x32/apps/velk47120.png
./usr/share/icons/hicolor/48x48/apps/velk47120.png
./usr/share/icons/hicolor/64x64/apps/velk47120.png
./usr/share/icons/hicolor/scalable/apps/velk47120.svg
./usr/share/man/man1/velk47120.1.gz
./usr/share/metainfo/org.velk47120.Velk47120.metainfo.xml
./usr/share/velk47120/VELK47120.html
LIST
diff -u "$tmp/expected" "$tmp/files" >&2 || fail "the package's files differ from the layout (- expected, + packaged)"

# Runtime dependencies come from the libraries the program links.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6widgets6 libusb-1.0-0 libstdc++6; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done
case "$(dpkg-deb -f "$deb" Description | head -n 1)" in
  velk47120*) fail "the description starts with the package name" ;;
esac
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 2 ] || fail "the description has no long part"
dpkg-deb -e "$deb" "$tmp/control"
grep -q 'udevadm control --reload-rules' "$tmp/control/postinst" "$tmp/control/postrm" ||
  fail "the maintainer scripts do not reload udev's rules"

dpkg-deb -x "$deb" "$tmp/root"
usr="$tmp/root/usr"
grep -q '<a name="topics">' "$usr/share/velk47120/VELK47120.html" || fail "help file has no topics"
grep -q '^Exec=velk47120' "$usr/share/applications/velk47120.desktop" || fail "desktop entry"
grep -q 'ATTR{idVendor}=="1e7a".*TAG+="uaccess"' "$usr/lib/udev/rules.d/60-velk47120.rules" ||
  fail "udev rule does not grant the card to the seat"

# The unpacked program runs, and knows it is installed: its help comes from share/velk47120.
mkdir -p "$tmp/home"
export HOME="$tmp/home" QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME XDG_DATA_HOME
"$usr/bin/velk47120" --version | grep -q '3\.' || fail "the unpacked velk47120 --version failed"
help="$(cd "$usr/bin" && ./velk47120 --help)" || fail "the unpacked velk47120 --help failed"
echo "$help" | grep -q "help file  *$usr/share/velk47120/VELK47120.html" ||
  fail "the unpacked program does not take its help from share/velk47120: $help"
echo "$help" | grep -q "configuration  *$tmp/home/.config/velk47120/Velk47120.cfg" ||
  fail "the unpacked program's configuration is not in the user's folder: $help"
exit $status
