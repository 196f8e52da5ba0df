#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Installs the Debian packages the tests need on top of install-deps.sh: a virtual X display and
# a way to click in it, the sound servers the live tests start privately (PipeWire with
# WirePlumber, and PulseAudio), their command-line clients, ALSA's pulse plugin, and the sound
# tools that measure and decode what the receiver plays, and Hamlib's rigctl for the remote
# control. Idempotent like install-deps.sh:
# packages already present are left alone and apt is not touched when nothing is missing.
#
# PulseAudio is installed only when pipewire-alsa is not: on Debian the two conflict, and
# removing pipewire-alsa would change the machine's sound setup. The tests then run on PipeWire
# alone (scripts/sound-server.sh picks what is there).
set -euo pipefail

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

packages=(
  # a virtual X display for the window, and mouse clicks in it
  xvfb xauth xdotool
  # measuring and decoding the receiver's audio
  sox multimon-ng
  # ALSA's tools, and its pulse plugin (ALSA's default device reaching the sound server)
  alsa-utils libasound2-plugins
  # the sound servers the tests start privately, and their clients (pactl, paplay, parec)
  pulseaudio-utils pipewire pipewire-pulse wireplumber
  # the Python scripts of the tests and benchmarks
  python3
  # Hamlib's own client (rigctl), which the remote-control tests drive the receiver with
  libhamlib-utils
)
if ! installed pipewire-alsa; then
  packages+=(pulseaudio)
fi

exec bash "$(dirname "$0")/install-deps.sh" "${packages[@]}"
