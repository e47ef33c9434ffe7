#!/usr/bin/env bash
# Installs every Debian package the build, the tests and a local run need.
# Safe to run again: packages already present are skipped.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ ccache pkg-config openssl fonts-dejavu-core e2fsprogs
  qt6-base-dev qt6-base-dev-tools qt6-websockets-dev qt6-svg-dev qt6-multimedia-dev
  qt6-httpserver-dev libqt6sql6-sqlite zlib1g-dev libbenchmark-dev
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
  # running: the engine, sound, a virtual display for window tests
  stockfish gstreamer1.0-plugins-good xvfb xauth
  # end-to-end tests and screenshots
  chromium imagemagick xdotool
)
# Node.js and npm drive the browser tests; take Debian's only when the machine has none
# (a NodeSource Node.js already carries its own npm, which Debian's npm conflicts with).
if ! command -v npm >/dev/null 2>&1; then packages+=(nodejs npm); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
