#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: when everything is present it installs nothing and touches no package list.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format python3
  # Qt 6: Core, Gui, Widgets, DBus, Network, Test, the TIFF image plugin, and UiTools for the
  # plugins' settings views (its CMake package needs the OpenGL one)
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-tools-dev libqt6opengl6-dev
  # libraries
  libplist-dev libssl-dev libcurl4-openssl-dev libzip-dev libudev-dev libevdev-dev
  libxcb1-dev libxcb-xkb-dev libxcb-screensaver0-dev libxcb-xtest0-dev libxcb-res0-dev
  libxkbcommon-dev libxkbcommon-x11-dev libxkbregistry-dev
  # Wayland sessions: the client library and the protocol descriptions (idle notifications)
  libwayland-dev wayland-protocols
  # the sans font the configurator draws key labels with
  fonts-dejavu-core
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  dbus dbus-bin libglib2.0-bin xvfb xdotool openbox x11-xkb-utils
  # the Wayland backends against a headless sway with Qt Wayland windows
  sway qt6-wayland
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
