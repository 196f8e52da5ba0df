#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# The receiver's CPU share while ON with the waterfall window closed and open, in turns: the
# real corvane-demo (the live window on its built-in band, in real time) on a private Xvfb,
# switched ON and the window opened with xdotool clicks, its CPU time read from /proc.
#   bash bench/display/waterfall-cpu.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SHOT.png]
# BUILD_DIR defaults to build/release; SECONDS (30) per measurement; ROUNDS (2) of closed then
# open; SHOT.png, when given, is a picture of the screen with both windows at the end.
set -euo pipefail
build=${1:-build/release}
seconds=${2:-30}
rounds=${3:-2}
shot=${4:-}
demo="$build/tools/corvane-demo"
grab="$build/tests/app/corvane_screen_grab"
[[ -x "$demo" ]] || { echo "no $demo: build first" >&2; exit 2; }
command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
    { echo "needs Xvfb and xdotool (scripts/install-test-deps.sh)" >&2; exit 2; }

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x1260x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
demo_pid=
cleanup() {
    [[ -n "$demo_pid" ]] && kill "$demo_pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

QT_QPA_PLATFORM=xcb "$demo" >/dev/null 2>&1 &
demo_pid=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --name '^Corvane 2\.1( - demo band)?$' 2>/dev/null | head -1) && [[ -n "$window" ]] && break
    sleep 0.1
done
[[ -n "$window" ]] || { echo "the receiver window did not appear" >&2; exit 1; }
xdotool windowmove "$window" 0 0
sleep 1
click() { # window-relative x y
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.3
}
click 40 425 # ON (Power frame at 10,390; the button at 10,20 in it, 60 x 30)
sleep 3      # past the warm-up, displays running

ticks() { awk '{print $14 + $15}' "/proc/$demo_pid/stat"; }
hz=$(getconf CLK_TCK)
share() { # percent of one core over $seconds
    local t0 t1
    t0=$(ticks)
    sleep "$seconds"
    t1=$(ticks)
    awk -v a="$t0" -v b="$t1" -v s="$seconds" -v hz="$hz" 'BEGIN { printf "%.2f", (b - a) / hz / s * 100 }'
}
waterfall_box() { click 794 610; } # "Waterfall": the tuning frame at 676,390, the box at 110,210
for round in $(seq "$rounds"); do
    closed=$(share)
    waterfall_box
    fall=$(xdotool search --name 'Waterfall$' 2>/dev/null | head -1)
    [[ -n "$fall" ]] && xdotool windowmove "$fall" 0 770
    sleep 2
    open=$(share)
    echo "round $round: CPU while ON, waterfall closed ${closed} %, open ${open} %"
    if [[ $round -lt $rounds || -z "$shot" ]]; then
        waterfall_box
        sleep 1
    fi
done
if [[ -n "$shot" ]]; then
    "$grab" "$shot" && echo "screen: $shot"
fi
