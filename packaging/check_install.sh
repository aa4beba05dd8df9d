#!/usr/bin/env bash
# Installs the build into a scratch folder (DESTDIR) and checks that a desktop
# would find the program: the programs, the menu entry with the picture types it
# opens, the icon in every size, the description; then packs the .deb.
# Usage: check_install.sh BUILD_DIR SCRATCH_DIR
set -uo pipefail
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
fail() {
    echo "install check: $*" >&2
    exit 1
}

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 ||
    fail "cmake --install failed (see $scratch/install.log)"
root=$scratch/root/usr
for exe in tintwell tintwell-cli; do
    [ -x "$root/bin/$exe" ] || fail "bin/$exe missing"
done
desktop=$root/share/applications/org.tintwell.Tintwell.desktop
[ -f "$desktop" ] || fail "no .desktop entry"
grep -qx 'Exec=tintwell %f' "$desktop" || fail "the entry does not pass the picture on"
for type in image/jpeg image/png image/bmp image/vnd.microsoft.icon image/tiff image/webp image/heic image/avif; do
    grep -q "^MimeType=.*$type;" "$desktop" || fail "the entry does not open $type"
done
for size in 16 32 48 128 256; do
    icon=$root/share/icons/hicolor/${size}x${size}/apps/tintwell.png
    [ -s "$icon" ] || fail "no $size-pixel icon"
    # A PNG's width: the four big-endian bytes at offset 16.
    width=$(od -An -tu1 -j16 -N4 "$icon" | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}')
    [ "$width" = "$size" ] || fail "the $size-pixel icon is $width pixels wide"
done
metainfo=$root/share/metainfo/org.tintwell.Tintwell.metainfo.xml
[ -f "$metainfo" ] || fail "no metainfo file"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$scratch/metainfo.log" 2>&1 ||
        fail "appstreamcli rejects the metainfo: $(cat "$scratch/metainfo.log")"
fi

# The Debian package holds the same files.
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >cpack.log 2>&1) ||
    fail "cpack -G DEB failed (see $scratch/cpack.log)"
deb=$(ls "$scratch"/deb/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "cpack made no .deb"
listing=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tintwell ./usr/bin/tintwell-cli ./usr/share/applications/org.tintwell.Tintwell.desktop \
    ./usr/share/icons/hicolor/48x48/apps/tintwell.png ./usr/share/metainfo/org.tintwell.Tintwell.metainfo.xml; do
    grep -q " $f\$" <<<"$listing" || fail "the .deb lacks $f"
done
echo "install check: passed ($(basename "$deb"))"
