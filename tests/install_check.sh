#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop expects to find.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/burnshelf share/applications/burnshelf.desktop share/icons/hicolor/scalable/apps/burnshelf.svg; do
  [ -e "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
[ -x "$prefix/bin/burnshelf" ] || { echo "bin/burnshelf is not executable"; exit 1; }
desktop-file-validate "$prefix/share/applications/burnshelf.desktop"
grep -qx 'Exec=burnshelf' "$prefix/share/applications/burnshelf.desktop"
grep -qx 'Icon=burnshelf' "$prefix/share/applications/burnshelf.desktop"
echo "installed and valid"
