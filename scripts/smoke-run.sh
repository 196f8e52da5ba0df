#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Tries the README's run command as a new user would: on a virtual X display, `bash scripts/run.sh`
# must bring up the receiver window. The sound server the tests use provides the devices.
set -euo pipefail
cd "$(dirname "$0")/.."
display=":97"
log="$(mktemp)"
Xvfb "${display}" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
run=""
cleanup() {
    [ -n "${run}" ] && kill "${run}" 2>/dev/null
    kill "${xvfb}" 2>/dev/null
    rm -f "${log}"
}
trap cleanup EXIT
sleep 1
# As a user's desktop session would: the X display, not the tests' offscreen platform.
env -u QT_QPA_PLATFORM DISPLAY="${display}" bash scripts/run.sh >"${log}" 2>&1 &
run=$!
if DISPLAY="${display}" timeout 300 xdotool search --sync --onlyvisible --name '^Corvane 2[.]1$' >/dev/null; then
    echo "smoke-run: the run command brought up the receiver window"
else
    echo "smoke-run: no receiver window appeared; the run command printed:" >&2
    cat "${log}" >&2
    exit 1
fi
