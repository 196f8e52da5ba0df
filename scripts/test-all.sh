#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Installs whatever is missing, builds, and runs every test: the formatting check, the
# optimised build, the AddressSanitizer+UndefinedBehaviorSanitizer build and the
# ThreadSanitizer build of the threaded tests. Exits non-zero on the first failure.
#
#   bash scripts/test-all.sh                   everything (what CI runs)
#   bash scripts/test-all.sh PRESET [LABEL]    one preset's build and tests, or only those with
#                                            LABEL (dsp, display, audio, device, app, tools,
#                                            package, long), without installing anything
# e.g. "bash scripts/test-all.sh dsp" (the signal chain alone, in seconds) or
#      "bash scripts/test-all.sh release display".
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-}"
label="${2:-}"
if [ -z "${preset}" ]; then
    bash scripts/install-deps.sh
    bash scripts/install-test-deps.sh
    bash scripts/check-format.sh
fi
export QT_QPA_PLATFORM=offscreen
if [ "${preset}" = dsp ]; then
    # The signal chain alone: no Qt, no sound server.
    cmake --preset dsp >/dev/null
    cmake --build --preset dsp
    ctest --preset dsp -j 2 ${label:+-L "${label}"}
    exit 0
fi
# A private sound server (PipeWire when installed, else PulseAudio) that ALSA's default device
# (and so PortAudio's) reaches; the sound tests play through it and capture what they played.
# Its folder is this run's own, so nothing else playing on the machine mixes into the tests, and
# every server this run starts is stopped when it ends.
sound_root="$(mktemp -d /tmp/corvane-test-sound.XXXXXX)"
stop_servers() {
    for d in "${sound_root}"/*/; do
        [ -d "${d}" ] && CORVANE_SOUND_DIR="${d}" bash scripts/sound-server.sh stop >/dev/null 2>&1
    done
    rm -rf "${sound_root}"
}
trap stop_servers EXIT
export CORVANE_SOUND_DIR="${sound_root}/default"
sound_env="$(bash scripts/sound-server.sh)"
eval "${sound_env}"
default_kind="${CORVANE_SOUND_SERVER}"
export CORVANE_REQUIRE_SOUND=1
# rigctl is installed above: the remote-control tests fail rather than skip without it.
export CORVANE_REQUIRE_RIGCTL=1

if [ -n "${preset}" ]; then
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}"
    ctest --preset "${preset}" -j 2 ${label:+-L "${label}"}
    exit 0
fi

for preset in release asan-ubsan; do
    echo "== ${preset} =="
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}"
    ctest --preset "${preset}" -j 2
done

echo "== tsan (audio) =="
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target corvane_audio_tests corvane_audio_device_tests \
    corvane_audio_server_tests
ctest --preset tsan -L 'audio|device'

# The live path on each kind of server installed: the sound-server tests (loopback, server
# killed and restarted) and short runs of the live benchmark (the real receiver clicked on an
# X display, DTMF in, multimon-ng on what it plays, with load bursts; and with the server killed
# under it first).
for kind in pipewire pulseaudio; do
    if ! command -v "${kind}" >/dev/null; then
        echo "== live path on ${kind}: not installed, skipped =="
        continue
    fi
    echo "== live path on ${kind} =="
    (
        export CORVANE_SOUND_DIR="${sound_root}/${kind}" CORVANE_SOUND_SERVER="${kind}"
        eval "$(bash scripts/sound-server.sh "${kind}" start)"
        # The release tests above ran the device tests on the default kind's server already.
        if [ "${kind}" != "${default_kind}" ]; then
            ctest --preset release -L device
        fi
        CORVANE_ARGS=--verbose bash bench/live/run.sh --server "${kind}" --starts 1 --load
        # The server killed under the real program: message, OFF, and ON again once it is back.
        bash bench/live/run.sh --server "${kind}" --starts 1 --kill KILL
        bash scripts/sound-server.sh "${kind}" stop >/dev/null
        # The server as the distribution ships it, its null sinks made with default parameters
        # (they rewind): the real program with the sink's volume changed and other programs'
        # sounds while the digits play, and with the server stopped for 2 s and continued.
        # Not its streams moved: there the servers themselves cut or split a digit now and
        # then (bench/live/run.sh tells the server's damage apart; run it with --events move).
        echo "== live path on stock ${kind} =="
        CORVANE_ARGS=--verbose bash bench/live/run.sh --server "${kind}" --stock --starts 1 \
            --load --events volume,beeps
        CORVANE_ARGS=--verbose bash bench/live/run.sh --server "${kind}" --stock --starts 1 \
            --events stop
    )
done

echo "== run command =="
bash scripts/smoke-run.sh
