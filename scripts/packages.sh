# Debian packages Orvex needs to build, run and test; sourced by run.sh and
# test.sh. Installs only what is missing.
ORVEX_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qtwebengine5-dev libqt5x11extras5-dev libwebkit2gtk-4.1-dev libxml2-dev
  libgtest-dev googletest libxtst-dev
  xvfb xauth fonts-ipafont-gothic openssl curl locales python3
  desktop-file-utils dbus-daemon
  qttranslations5-l10n gettext
  libqt5sql5-sqlite
  clang-format
)

ensure_packages() {
  local missing=()
  for p in "${ORVEX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
  fi
}

configure_build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
