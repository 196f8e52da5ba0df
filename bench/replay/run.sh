#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Replay speed: a 10-minute recording of the demonstration band through corvane-replay, every
# display drawn every block. Prints the replay's own line (blocks, seconds, real-time factor).
#   bash bench/replay/run.sh [BUILD_DIR]      (default build/release, built first)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
cmake --build "${build}" --target corvane-replay corvane-demo >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
"${build}/tools/corvane-demo" --write-band "${work}/band.wav" --seconds 600
for run in 1 2 3; do
    "${build}/tools/corvane-replay" --quiet --offset 1500 "${work}/band.wav" "${work}/out.wav"
done
