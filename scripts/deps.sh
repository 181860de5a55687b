# Installs the Debian packages the build, the tests and the windows need, when missing.
# Sourced by ./run and ./test.
vantrel_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libpugixml-dev
  libinih-dev libgtest-dev libgmock-dev fonts-wqy-zenhei libgl-dev qt6-qpa-plugins
  poppler-utils libxlsxwriter-dev libzip-dev libexpat1-dev libcsv-dev libpq-dev postgresql clang libclang-rt-14-dev libxcb1-dev)
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
