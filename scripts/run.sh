#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Installs what is missing, builds the release programs and starts the receiver on the default
# sound card. On a desktop without a capture device it says so and starts corvane-demo (the
# same receiver on a synthetic band) instead. Arguments are passed on (Qt's own, such as
# -platform xcb).
#   bash scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target corvane corvane-demo
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]] &&
    ! build/release/tools/corvane-demo --probe-capture >/dev/null 2>&1; then
    echo "No sound capture device found: starting corvane-demo on its synthetic band instead."
    exec build/release/tools/corvane-demo "$@"
fi
exec build/release/app/corvane "$@"
