#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures and builds
# into ./build. Works as root and, through sudo, as an ordinary user. MZ_WARNINGS_AS_ERRORS=ON
# (as CI sets it) makes every compiler warning an error.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools liblitehtml-dev libgumbo-dev libseccomp-dev
  libsqlcipher-dev libssl-dev libxcb1-dev mdbtools-dev
  fonts-liberation fonts-wqy-microhei
  poppler-utils
  xvfb openbox
  at-spi2-core python3-pyatspi dbus-daemon dbus-x11
  qt6-wayland weston qt6-gtk-platformtheme qt6ct
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMZ_WARNINGS_AS_ERRORS="${MZ_WARNINGS_AS_ERRORS:-OFF}"
cmake --build build
