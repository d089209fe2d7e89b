#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop expects to find; then
# packages it as a .deb and lets lintian and appstreamcli judge, when they are installed.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/burnshelf share/applications/burnshelf.desktop share/mime/packages/burnshelf.xml share/icons/hicolor/scalable/apps/burnshelf.svg \
         share/icons/hicolor/48x48/apps/burnshelf.png share/icons/hicolor/128x128/apps/burnshelf.png \
         share/man/man1/burnshelf.1.gz share/metainfo/org.example.burnshelf.metainfo.xml \
         share/doc/burnshelf/copyright share/doc/burnshelf/changelog.gz share/doc/burnshelf/guide.md; do
  [ -e "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
[ -x "$prefix/bin/burnshelf" ] || { echo "bin/burnshelf is not executable"; exit 1; }
desktop-file-validate "$prefix/share/applications/burnshelf.desktop"
grep -qx 'Exec=burnshelf %f' "$prefix/share/applications/burnshelf.desktop"
grep -qx 'MimeType=application/x-burnshelf-shelfdex;' "$prefix/share/applications/burnshelf.desktop"
grep -qx 'Icon=burnshelf' "$prefix/share/applications/burnshelf.desktop"
grep -q '^Categories=.*;X-GNOME-Utilities;' "$prefix/share/applications/burnshelf.desktop"
# Every picture the installed guide shows lies beside it.
for picture in $(grep -o '([a-z0-9-]*\.png)' "$prefix/share/doc/burnshelf/guide.md" | tr -d '()'); do
  [ -e "$prefix/share/doc/burnshelf/$picture" ] || { echo "guide.md shows missing $picture"; exit 1; }
done
# The manual page names the files Burnshelf leaves beside Shelfdex.dat, and where to read on.
for name in Shelfdex.facts Shelfdex.sha1 Shelfdex.md5 Shelfdex-kept.txt Shelfdex.lock 'SEE ALSO'; do
  zcat "$prefix/share/man/man1/burnshelf.1.gz" | grep -q "$name" || { echo "man page lacks $name"; exit 1; }
done
for size in 48 128; do
  [ "$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/burnshelf.png")" = "${size}x${size}" ] ||
    { echo "the ${size}x${size} icon is not ${size} x ${size}"; exit 1; }
done
"$prefix/bin/burnshelf" --version | grep -qx 'burnshelf [0-9.]*'
[ "$("$prefix/bin/burnshelf" --help | wc -l)" -le 2 ]
[ "$("$prefix/bin/burnshelf" -h)" = "$("$prefix/bin/burnshelf" --help)" ]
# A file manager knows Shelfdex.dat by its name once the type is installed (other .dat files
# stay what they were).
update-mime-database "$prefix/share/mime"
mkdir -p "$prefix/files"
printf '\0%.0s' $(seq 16) >"$prefix/files/Shelfdex.dat"
cp "$prefix/files/Shelfdex.dat" "$prefix/files/other.dat"
mime() { XDG_DATA_DIRS="$prefix/share" XDG_DATA_HOME="$prefix/none" xdg-mime query filetype "$1"; }
[ "$(mime "$prefix/files/Shelfdex.dat")" = application/x-burnshelf-shelfdex ] ||
  { echo "Shelfdex.dat is $(mime "$prefix/files/Shelfdex.dat")"; exit 1; }
[ "$(mime "$prefix/files/other.dat")" != application/x-burnshelf-shelfdex ]
# Without a display the program says so in one line instead of aborting.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/burnshelf" 2>&1 | wc -l)" -eq 1 ]
# So does a Wayland session whose compositor is gone (Qt would abort): one line, exit 1.
status=0
said=$(env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=burnshelf-gone XDG_RUNTIME_DIR="$prefix" \
       "$prefix/bin/burnshelf" 2>&1) || status=$?
[ "$status" -eq 1 ] && [ "$(echo "$said" | wc -l)" -eq 1 ] || { echo "without a compositor: $status $said"; exit 1; }

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
