#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# What a sound server itself does to a plain player's stream when the stream is moved to
# another sink and back, as the live benchmark's move event does to the receiver's: paplay
# plays 1 kHz bursts (100 ms on, 100 ms off) into the null sink "audio" while its stream is
# moved to "spare" (a remap sink on "audio") for a second and back, MOVES times; what reaches
# audio.monitor is recorded and every burst that came shorter than 85 ms or a gap longer than
# 115 ms is reported with the tone missing there. A digit the receiver loses at a move where a
# plain player loses as much is the server's doing.
#
#   bash bench/live/move-control.sh [--server pulseaudio|pipewire] [--stock] [--moves N]
#                                   [--latency-msec MS]
#
#   --latency-msec  paplay's latency (default 107: the receiver's playback queue on PulseAudio)
# Exit status: 0 when it ran (whatever it found), 1 when a tool or the server failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd -P)"

server=pulseaudio
mode=test
moves=6
latency=107
while [ $# -gt 0 ]; do
    case "$1" in
    --server) server="$2" && shift ;;
    --stock) mode=stock ;;
    --moves) moves="$2" && shift ;;
    --latency-msec) latency="$2" && shift ;;
    *)
        sed -n '/^#   bash/,/^# Exit status/p' "$0" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
    shift
done

work="$(mktemp -d /tmp/corvane-move-control.XXXXXX)"
export CORVANE_SOUND_DIR="${work}/sound"
cleanup() {
    jobs -p | xargs -r kill 2>/dev/null || true
    bash "${root}/tools/sound-server.sh" stop >/dev/null 2>&1 || true
    rm -rf "${work}"
}
trap cleanup EXIT
eval "$(bash "${root}/tools/sound-server.sh" "${server}" "${mode}" start)"
pactl load-module module-null-sink sink_name=audio rate=48000 channels=2 >/dev/null
pactl load-module module-remap-sink sink_name=spare master=audio >/dev/null

seconds=$((3 + 3 * moves + 1))
python3 - "${work}/bursts.raw" "${seconds}" <<'EOF'
import math, struct, sys
rate, n = 48000, int(sys.argv[2]) * 48000
with open(sys.argv[1], "wb") as f:
    for i in range(n):
        v = int(8000 * math.sin(2 * math.pi * 1000 * i / rate)) if i % 9600 < 4800 else 0
        f.write(struct.pack("<hh", v, v))
EOF

parec --device=audio.monitor --format=s16le --rate=48000 --channels=2 --latency-msec=100 \
    >"${work}/got.raw" &
rec=$!
sleep 0.5
paplay --raw --format=s16le --rate=48000 --channels=2 --device=audio \
    --latency-msec="${latency}" --process-time-msec=5 "${work}/bursts.raw" &
play=$!
sleep 3
stream() { pactl list short sink-inputs | awk '{ print $1 }' | sort -n | tail -n 1; }
for _ in $(seq 1 "${moves}"); do
    pactl move-sink-input "$(stream)" spare
    sleep 1
    pactl move-sink-input "$(stream)" audio
    sleep 2
done
wait "${play}"
sleep 0.5
kill "${rec}"
wait "${rec}" 2>/dev/null || true

python3 - "${work}/got.raw" "${server}" "${mode}" "${moves}" "${latency}" <<'EOF'
import array, math, sys
d = array.array("h", open(sys.argv[1], "rb").read())[0::2]
ms = [math.sqrt(sum(v * v for v in d[i:i + 48]) / 48) for i in range(0, len(d) - 48, 48)]
on = [e > 0.2 * max(ms) for e in ms]
runs, start = [], 0
for i in range(1, len(on) + 1):
    if i == len(on) or on[i] != on[start]:
        runs.append((on[start], start, i - start))
        start = i
runs = runs[2:-2]  # the first and last bursts are cut by the recording
# A burst cut short loses what it lacks of its 100 ms; a gap that swallowed whole bursts
# loses 100 ms for each.
bad = [(t, n) for o, t, n in runs if (o and n < 85) or (not o and n > 115)]
missing = sum(max(0, 97 - n) for o, t, n in runs if o)
missing += sum(100 * max(0, (n + 100) // 200 - 1) for o, t, n in runs if not o)
where = ", ".join(f"{t / 1000:.2f} s" for t, n in bad)
print(f"{sys.argv[2]} {sys.argv[3]}: {2 * int(sys.argv[4])} moves (paplay, latency "
      f"{sys.argv[5]} ms): {len(bad)} burst(s) or gap(s) off by more than 15 ms, "
      f"about {missing} ms of tone missing in all" + (f" (at {where})" if where else ""))
EOF
