#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: packages already present are skipped, apt-get update runs once.
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config ccache git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  libexpat1-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libpango1.0-dev fonts-liberation2 fonts-wqy-zenhei fonts-symbola
  libcairo2-dev libpng-dev libx11-dev libxext-dev libxcursor-dev libxtst-dev libxrandr-dev
  libsystemd-dev
  xvfb xauth x11-utils xdotool x11-apps netpbm openbox dbus-daemon
  libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  python3 procps util-linux
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
