#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# The soak: a known signal played through a private sound server and captured back through the
# receiver's own sound path (PulseAudio client, rings, block exchange) for a long time, every
# frame checked: nothing lost, repeated or reordered. Prints the loss counters and the CPU share
# every minute and at the end.
#
#   bash bench/live/soak.sh [pulseaudio|pipewire] [SECONDS]     (defaults: pipewire 3600)
#
# Needs the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
cd "$(dirname "$0")/../.."
kind="${1:-pipewire}"
seconds="${2:-3600}"
tests="build/release/tests/audio/corvane_audio_device_tests"
[ -x "${tests}" ] || { echo "soak: build the release preset first (${tests})" >&2; exit 2; }
dir="$(mktemp -d /tmp/corvane-soak.XXXXXX)"
trap 'CORVANE_SOUND_DIR="${dir}" bash tools/sound-server.sh stop >/dev/null 2>&1; rm -rf "${dir}"' EXIT
export CORVANE_SOUND_DIR="${dir}"
eval "$(bash tools/sound-server.sh "${kind}" start)"
echo "soak: ${seconds} s on ${kind}"
QT_QPA_PLATFORM=offscreen CORVANE_SOAK_SECONDS="${seconds}" \
    "${tests}" --gtest_filter='LiveLoopback.SoakOnTheServer'
