#!/usr/bin/env bash
# Builds the Debian package from a release build folder, unpacks it into a temporary folder
# and runs the unpacked client there: init-db --demo and summary --out must work from the
# installed layout alone. lintian must report no error.
#   scripts/package-check.sh BUILD_DIR
set -euo pipefail
build="$1"
cmake --build "$build"
rm -f "$build"/vantrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/vantrel_*.deb)"
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

root="$(mktemp -d /tmp/vantrel-deb.XXXXXX)"
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root/fs"
client="$root/fs/usr/bin/vantrel-client"
for f in usr/share/applications/org.vantrel.Vantrel.desktop usr/share/metainfo/org.vantrel.Vantrel.metainfo.xml \
         usr/share/man/man1/vantrel-client.1.gz usr/share/bash-completion/completions/vantrel-client \
         usr/share/icons/hicolor/scalable/apps/org.vantrel.Vantrel.svg; do
  [ -s "$root/fs/$f" ] || { echo "package-check: $f missing" >&2; exit 1; }
done
# Nothing of the build folder may be reached: the module and the catalogue come from the
# unpacked tree.
env -u VANTREL_MODULE "$client" init-db --demo --db "$root/demo.db"
env -u VANTREL_MODULE "$client" summary --db "$root/demo.db" --out "$root/summary.xml"
head -c 100 "$root/summary.xml" | grep -q '<?xml version="1.0" encoding="GBK"' ||
  { echo "package-check: the unpacked client wrote no summary document" >&2; exit 1; }
echo "package-check: the unpacked client wrote $(wc -c <"$root/summary.xml") bytes of summary"

if command -v lintian >/dev/null 2>&1; then
  # Errors fail; warnings and information are listed.
  lintian --tag-display-limit 0 "$deb" | tee "$root/lintian.txt" || true
  if grep -q '^E:' "$root/lintian.txt"; then
    echo "package-check: lintian reports errors" >&2
    exit 1
  fi
fi
