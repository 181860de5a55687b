# Installs the Debian packages that are missing. Sourced by ./run with "run" (what building
# and running the product needs) and by ./test with "test" (that, plus the test frameworks,
# the PostgreSQL server, clang for the fuzz harnesses and the packaging tools).
vantrel_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libpugixml-dev
  libinih-dev fonts-wqy-zenhei libgl-dev qt6-qpa-plugins qt6-translations-l10n qt6-charts-dev libqt6opengl6-dev
  libxlsxwriter-dev libzip-dev libexpat1-dev libcsv-dev libpq-dev libssl-dev libxcb1-dev lld)
if [ "${1:-test}" != run ]; then
  vantrel_packages+=(libgtest-dev libgmock-dev poppler-utils postgresql clang libclang-rt-14-dev
    dpkg-dev lintian)
fi
vantrel_missing=()
for p in "${vantrel_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || vantrel_missing+=("$p")
done
if [ ${#vantrel_missing[@]} -gt 0 ]; then
  echo "Installing: ${vantrel_missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${vantrel_missing[@]}" >&2
fi
unset vantrel_packages vantrel_missing p
