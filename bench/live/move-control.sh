#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# What a sound server itself does to a plain player's stream when the stream is moved to
# another sink and back, as the live benchmark's move event does to the receiver's: paplay
# plays 1 kHz bursts (100 ms on, 100 ms off) into the null sink "audio" while its stream is
# moved to "spare" (a remap sink on "audio") for a second and back, MOVES times; what reaches
# audio.monitor is recorded and every burst that came shorter than 85 ms or a gap longer than
# 115 ms is reported with the tone missing there. A digit the receiver loses at a move where a
# plain player loses as much is the server's doing. With --record the recorder's stream is
# moved instead (to "spare_in", a remap source on audio.monitor, and back), as the benchmark
# moves the receiver's capture stream, and the player stays where it is.
#
#   bash bench/live/move-control.sh [--server pulseaudio|pipewire] [--stock] [--moves N]
#                                   [--latency-msec MS] [--record]
#
#   --latency-msec  the moved stream's latency (default 107: the receiver's playback queue on
#                   PulseAudio; with --record 43, a capture fragment of one block)
# Environment: CORVANE_BENCH_KEEP=1 keeps the work folder (the recording is got.raw).
# Exit status: 0 when it ran (whatever it found), 1 when a tool or the server failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd -P)"

server=pulseaudio
mode=test
moves=6
latency=""
direction=play
while [ $# -gt 0 ]; do
    case "$1" in
    --server) server="$2" && shift ;;
    --stock) mode=stock ;;
    --moves) moves="$2" && shift ;;
    --latency-msec) latency="$2" && shift ;;
    --record) direction=record ;;
    *)
        sed -n '/^#   bash/,/^# Exit status/p' "$0" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
    shift
done

if [ -z "${latency}" ]; then
    latency=107
    [ "${direction}" = play ] || latency=43
fi

work="$(mktemp -d /tmp/corvane-move-control.XXXXXX)"
export CORVANE_SOUND_DIR="${work}/sound"
cleanup() {
    jobs -p | xargs -r kill 2>/dev/null || true
    bash "${root}/scripts/sound-server.sh" stop >/dev/null 2>&1 || true
    if [ -n "${CORVANE_BENCH_KEEP:-}" ]; then
        echo "move-control: the recording is in ${work}" >&2
    else
        rm -rf "${work}"
    fi
}
trap cleanup EXIT
eval "$(bash "${root}/scripts/sound-server.sh" "${server}" "${mode}" start)"
pactl load-module module-null-sink sink_name=audio rate=48000 channels=2 >/dev/null
pactl load-module module-remap-sink sink_name=spare master=audio >/dev/null
pactl load-module module-remap-source source_name=spare_in master=audio.monitor >/dev/null

# Each round takes its 3 s and the time pactl and the look-up take (a few tenths of a second on
# a busy machine): a second more a round, so the player is still there at the last move.
seconds=$((3 + 4 * moves + 1))
python3 - "${work}/bursts.raw" "${seconds}" <<'EOF'
import math, struct, sys
rate, n = 48000, int(sys.argv[2]) * 48000
with open(sys.argv[1], "wb") as f:
    for i in range(n):
        v = int(8000 * math.sin(2 * math.pi * 1000 * i / rate)) if i % 9600 < 4800 else 0
        f.write(struct.pack("<hh", v, v))
EOF

rec_latency=100 play_latency="${latency}"
[ "${direction}" = play ] || rec_latency="${latency}" play_latency=107
parec --device=audio.monitor --format=s16le --rate=48000 --channels=2 \
    --latency-msec="${rec_latency}" >"${work}/got.raw" &
rec=$!
sleep 0.5
paplay --raw --format=s16le --rate=48000 --channels=2 --device=audio \
    --latency-msec="${play_latency}" --process-time-msec=5 "${work}/bursts.raw" &
play=$!
sleep 3
if [ "${direction}" = play ]; then
    kind=sink-input there=spare back=audio moved="${play}"
else
    kind=source-output there=spare_in back=audio.monitor moved="${rec}"
fi
# The moved program's stream, found by its process (a remap module's own streams come and go).
stream() {
    pactl -f json list "${kind}s" | python3 -c '
import json, sys
for s in json.load(sys.stdin):
    if s.get("properties", {}).get("application.process.id") == sys.argv[1]:
        print(s["index"])
        break' "${moved}"
}
for _ in $(seq 1 "${moves}"); do
    pactl "move-${kind}" "$(stream)" "${there}"
    sleep 1
    pactl "move-${kind}" "$(stream)" "${back}"
    sleep 2
done
wait "${play}"
sleep 0.5
kill "${rec}"
wait "${rec}" 2>/dev/null || true

python3 - "${work}/got.raw" "${server}" "${mode}" "${moves}" "${latency}" "${direction}" <<'EOF'
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
who = "paplay" if sys.argv[6] == "play" else "parec"
print(f"{sys.argv[2]} {sys.argv[3]}: {2 * int(sys.argv[4])} moves ({who}, latency "
      f"{sys.argv[5]} ms): {len(bad)} burst(s) or gap(s) off by more than 15 ms, "
      f"about {missing} ms of tone missing in all" + (f" (at {where})" if where else ""))
EOF
