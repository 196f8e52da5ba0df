#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# The soak: a known signal played through a private sound server and captured back through the
# receiver's own sound path (PulseAudio client, rings, block exchange) for a long time, every
# frame checked: nothing lost, repeated or reordered. Prints the loss counters and the CPU share
# every minute and at the end.
#
#   bash bench/live/soak.sh [pulseaudio|pipewire] [SECONDS] [STALL_MS]
#
# Defaults: pipewire, 3600 s, no stalls. STALL_MS > 0 stops the sound server and the receiver's
# process together for that long once a second (SIGSTOP, SIGCONT), as a busy virtual machine
# stops every thread now and then: a reproducible way to see how a server rides out a stall.
#
# Needs the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
cd "$(dirname "$0")/../.."
kind="${1:-pipewire}"
seconds="${2:-3600}"
stall_ms="${3:-0}"
tests="build/release/tests/audio/corvane_audio_device_tests"
[ -x "${tests}" ] || { echo "soak: build the release preset first (${tests})" >&2; exit 2; }
dir="$(mktemp -d /tmp/corvane-soak.XXXXXX)"
stopped=()
trap '[ "${#stopped[@]}" -eq 0 ] || kill -CONT "${stopped[@]}" 2>/dev/null
      CORVANE_SOUND_DIR="${dir}" bash scripts/sound-server.sh stop >/dev/null 2>&1; rm -rf "${dir}"' EXIT
export CORVANE_SOUND_DIR="${dir}"
eval "$(bash scripts/sound-server.sh "${kind}" start)"
echo "soak: ${seconds} s on ${kind}"
QT_QPA_PLATFORM=offscreen CORVANE_SOAK_SECONDS="${seconds}" \
    "${tests}" --gtest_filter='LiveLoopback.SoakOnTheServer' &
test_pid=$!
if [ "${stall_ms}" -gt 0 ]; then
    echo "soak: stopping the server and the receiver for ${stall_ms} ms once a second"
    stall="$(awk -v ms="${stall_ms}" 'BEGIN { printf "%.3f", ms / 1000 }')"
    while kill -0 "${test_pid}" 2>/dev/null; do
        # The server's processes (first column of its pid list) and the receiver, together.
        mapfile -t stopped < <(awk '{ print $1 }' "${dir}/pids"; echo "${test_pid}")
        kill -STOP "${stopped[@]}" 2>/dev/null || true
        sleep "${stall}"
        kill -CONT "${stopped[@]}" 2>/dev/null || true
        sleep 1
    done
fi
wait "${test_pid}"
