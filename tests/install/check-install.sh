#!/usr/bin/env bash
# Stages an installation from the build folder given, checks each desktop file with the tool
# the desktops themselves trust, and builds the .deb and runs lintian on it.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$work/stage cmake --install "$build" --prefix /usr > /dev/null
share=$work/stage/usr/share
for file in usr/bin/glyphwell usr/share/applications/io.glyphwell.Glyphwell.desktop \
    usr/share/dbus-1/services/io.glyphwell.Glyphwell.service usr/share/metainfo/io.glyphwell.Glyphwell.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/io.glyphwell.Glyphwell.svg usr/share/man/man1/glyphwell.1.gz; do
    [ -s "$work/stage/$file" ] || fail "$file is not staged"
done
for size in 48 128; do
    png=$share/icons/hicolor/${size}x$size/apps/io.glyphwell.Glyphwell.png
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$png: $(file -b "$png")"
done

desktop-file-validate "$share/applications/io.glyphwell.Glyphwell.desktop"
appstreamcli validate --no-net --explain "$share/metainfo/io.glyphwell.Glyphwell.metainfo.xml"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/glyphwell.1.gz" 2>&1 > "$work/man.txt")
[ -z "$warnings" ] || fail "man page warnings: $warnings"
for form in --background --capture --no-line-breaks --last --show --recognize --mode --language --doctor \
    --help --version GLYPHWELL_PLATFORM XDG_DATA_HOME capture-history.json Glyphwell.conf; do
    grep -q -- "$form" "$work/man.txt" || fail "the man page does not mention $form"
done

# Every Exec names the installed program, also under another prefix, and the D-Bus service
# starts it with options it knows.
grep '^Exec=' "$share/applications/io.glyphwell.Glyphwell.desktop" | grep -qv '^Exec=/usr/bin/glyphwell' \
    && fail "an Exec line does not start /usr/bin/glyphwell"
grep -qx 'Exec=/usr/bin/glyphwell --background' "$share/dbus-1/services/io.glyphwell.Glyphwell.service" \
    || fail "the D-Bus service does not start the installed program"
DESTDIR=$work/opt cmake --install "$build" --prefix /opt/gw > /dev/null
grep -qx 'Exec=/opt/gw/bin/glyphwell --capture' "$work/opt/opt/gw/share/applications/io.glyphwell.Glyphwell.desktop" \
    || fail "the prefix is not followed"
"$work/stage/usr/bin/glyphwell" --help > /dev/null

(cd "$build" && cpack -G DEB -B "$work/package" > "$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/glyphwell_*_amd64.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libtesseract5 libqt6widgets6 libzxing2 qt6-qpa-plugins tesseract-ocr-eng tesseract-ocr-osd; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done
# Read whole before matching: grep -q stops early, and dpkg-deb killed by the closed pipe
# would fail the pipeline now and then.
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -q tesseract-ocr-chi-sim <<<"$recommends" || fail "Recommends lacks the menu's languages"
contents=$(dpkg-deb -c "$deb")
grep -q ' ./usr/share/applications/io.glyphwell.Glyphwell.desktop$' <<<"$contents" || fail "the .deb lacks the desktop file"
lintian --fail-on error "$deb" || fail "lintian reports errors"
echo "installed, validated and packaged: $(basename "$deb")"
