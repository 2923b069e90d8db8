#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop
# expects to find there: both programs (which start), the desktop entry
# (valid, naming the types Karto opens), the icon and the manual page.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" > /dev/null
for f in bin/karto bin/karto-cli share/applications/karto.desktop \
         share/icons/hicolor/scalable/apps/karto.svg share/man/man1/karto-cli.1; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
grep -q "MimeType=.*image/svg+xml" "$prefix/share/applications/karto.desktop" || { echo "no SVG type"; exit 1; }
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$prefix/share/applications/karto.desktop"
fi
QT_QPA_PLATFORM=offscreen "$prefix/bin/karto-cli" --version | grep -q "^karto-cli "
# --version and --help need no display.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/karto" --version | grep -q "^Karto "
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/karto" --help | grep -q "FILE"
echo "install ok"
