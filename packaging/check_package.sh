#!/usr/bin/env bash
# Checks a QuillTool .deb without installing it: the files it must hold, and that the tree extracted into a
# temporary folder runs (`quilltool --version`, `quilltool hex2bin` on a small file), and lintian's view.
#   packaging/check_package.sh PACKAGE.deb
set -euo pipefail
deb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb --info "$deb" >"$work/info"
grep -q '^ Depends: .*libqt6core6' "$work/info" || { echo "no Qt dependency computed:"; cat "$work/info"; exit 1; }
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/quilltool /usr/lib/quilltool/quilltool-gui /usr/lib/quilltool/libquilltool-core.so \
         /usr/share/applications/quilltool.desktop /usr/share/icons/hicolor/32x32/apps/quilltool.png \
         /usr/share/icons/hicolor/128x128/apps/quilltool.png /usr/share/man/man1/quilltool.1.gz \
         /usr/share/bash-completion/completions/quilltool /usr/share/zsh/vendor-completions/_quilltool \
         /usr/share/doc/quilltool/copyright; do
  grep -qx "$f" "$work/files" || { echo "missing from the package: $f"; exit 1; }
done
# Nothing of the build or the tests rides along.
if grep -E 'test|bench|\.a$|/include/' "$work/files"; then echo "unexpected files in the package"; exit 1; fi
dpkg-deb -x "$deb" "$work/root"
tool="$work/root/usr/bin/quilltool"
"$tool" --version | grep -q '^quilltool [0-9]'
printf ':0100000011EE\n:00000001FF\n' >"$work/p.hex"
"$tool" --store "$work/store" hex2bin "$work/p.hex" "$work/p.bin"
[[ $(stat -c %s "$work/p.bin") -eq 65536 ]] || { echo "hex2bin wrote the wrong size"; exit 1; }
[[ $(head -c 1 "$work/p.bin" | od -An -tx1 | tr -d ' ') == 11 ]] || { echo "hex2bin wrote the wrong byte"; exit 1; }
zcat "$work/root/usr/share/man/man1/quilltool.1.gz" | grep -q '^\.SH EXIT STATUS'
# lintian where it is installed (scripts/packages.txt): every tag is an error but those packaging/lintian-suppress
# explains.
if command -v lintian >/dev/null; then
  grep -v '^#' "$(dirname "$0")/lintian-suppress" | grep . >"$work/suppress" || true
  lintian --fail-on error,warning --suppress-tags-from-file "$work/suppress" "$deb"
fi
echo "package ok: $deb ($(wc -l <"$work/files") entries)"
