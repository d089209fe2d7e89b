#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop expects to find; then
# packages it as a .deb and lets lintian and appstreamcli judge, when they are installed.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/burnshelf share/applications/burnshelf.desktop share/icons/hicolor/scalable/apps/burnshelf.svg \
         share/icons/hicolor/48x48/apps/burnshelf.png share/icons/hicolor/128x128/apps/burnshelf.png \
         share/man/man1/burnshelf.1.gz share/metainfo/org.example.burnshelf.metainfo.xml \
         share/doc/burnshelf/copyright share/doc/burnshelf/changelog.gz; do
  [ -e "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
[ -x "$prefix/bin/burnshelf" ] || { echo "bin/burnshelf is not executable"; exit 1; }
desktop-file-validate "$prefix/share/applications/burnshelf.desktop"
grep -qx 'Exec=burnshelf' "$prefix/share/applications/burnshelf.desktop"
grep -qx 'Icon=burnshelf' "$prefix/share/applications/burnshelf.desktop"
for size in 48 128; do
  [ "$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/burnshelf.png")" = "${size}x${size}" ] ||
    { echo "the ${size}x${size} icon is not ${size} x ${size}"; exit 1; }
done
"$prefix/bin/burnshelf" --version | grep -qx 'burnshelf [0-9.]*'
[ "$("$prefix/bin/burnshelf" --help | wc -l)" -le 2 ]
# Without a display the program says so in one line instead of aborting.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/burnshelf" 2>&1 | wc -l)" -eq 1 ]

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.example.burnshelf.metainfo.xml" >/dev/null ||
    appstreamcli validate --no-net "$prefix/share/metainfo/org.example.burnshelf.metainfo.xml"
fi
if command -v lintian >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$prefix/deb" >/dev/null)
  verdict=$(lintian -E "$prefix"/deb/burnshelf_*.deb 2>/dev/null)
  [ -z "$verdict" ] || { echo "$verdict"; exit 1; }
fi
echo "installed and valid"
