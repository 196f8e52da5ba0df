#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Installs the Debian packages Corvane needs to build and run (and to build its tests). It never
# installs or removes a sound server, X server or test tool: those are in install-test-deps.sh,
# so the run command leaves the machine's sound system as it is. Idempotent: packages already
# present are left alone and apt is not touched at all when nothing is missing. Package names
# given as arguments are installed the same way, beside these (install-test-deps.sh does so).
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git clang-format
  # the Debian package: dependency list from the programs' libraries
  dpkg-dev
  # libraries the programs link
  qt6-base-dev libqt6opengl6-dev libgl-dev portaudio19-dev libpulse-dev libsndfile1-dev
  # Qt's platform plugins (xcb for the desktop, offscreen for tests and replay)
  qt6-qpa-plugins
  # tests and benchmarks (FFTW only for the comparison benchmark)
  libgtest-dev libgmock-dev googletest libbenchmark-dev libfftw3-dev
  # fonts substituted for the window's faces
  fonts-dejavu-core fonts-liberation
  # the independent derivation of the chain's golden values
  python3
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
