#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# The live benchmark: the real receiver program on a private sound server, operated with the
# mouse on a virtual X display, receiving an upper-sideband DTMF sequence played into its
# capture device in real time; the digits decoded from what it plays must be the digits sent,
# each exactly once.
#
#   bash bench/live/run.sh [--server pulseaudio|pipewire|both] [--starts N] [--seconds S]
#                          [--load] [--carrier HZ] [--kill KILL|TERM] [--stock]
#                          [--events volume,beeps,move,stop] [--audio-rate HZ]
#
#   --server   which sound server(s) to run on (default both; with both, a kind that is not
#              installed is skipped)
#   --starts   fresh starts per server: sound server, X display and receiver (default 3)
#   --seconds  how long the DTMF digits last (default 8; the 16 digits take 3.2 s a pass)
#   --load     two busy processes for 4 s in the middle of the digits
#   --carrier  the suppressed carrier of the sideband station, Hz, a multiple of 10 (default 7000;
#              the receiver is tuned at carrier + 1650 Hz in USB)
#   --kill     before the digits, ON and then the server killed with this signal; the failure
#              message must appear within one second with the receiver OFF (a server that is
#              only stopped is no failure: see --events stop); the message is closed, the server started again,
#              and the start goes on as usual, so the digits show that ON works again
#   --stock    the servers as the distribution ships them (scripts/sound-server.sh's stock mode,
#              for every start and restart), their null sinks with the module's defaults
#              (without it: the servers shaped for the tests, and on PulseAudio null sinks in
#              s16le without rewinds)
#   --events   what else happens on the server while the digits play, each kind in its own
#              loop, staggered: volume (the sink "audio" set to 80 % and 100 % in turn, every
#              2.5 s), beeps (another program's 0.2 s quiet 300 Hz tone played into "audio",
#              every 2.5 s), move (the receiver's playback stream moved to "spare" and its
#              record stream to "iq_spare" for a second and back, every 3 s), stop (every
#              process of the server stopped for 2 s with SIGSTOP, then SIGCONT, every 5 s:
#              the receiver must say its input is missing within a second of the stop and that
#              it is back within a second of SIGCONT); every kind asked for must be done at
#              least once and never fail; events.log.times in the work folder says when each
#              began (seconds since boot)
#   --audio-rate  the rate of the sink "audio" that the receiver plays into (default 48000;
#              44100, a stock PulseAudio's own default, has the server resample the receiver's
#              audio, and its requests come in other steps)
# Environment: CORVANE_BIN (default build/release/app/corvane), CORVANE_ARGS (more arguments for
# it, such as --verbose), CORVANE_BENCH_KEEP=1 keeps the work folder.
#
# Each start: a private server (scripts/sound-server.sh in its own folder) with two more null
# sinks, "iq" (the front end: the default source is its monitor) and "audio" (the default sink)
# (for move also "spare" and "iq_spare", below); Xvfb on a free display; the receiver with
# -platform xcb. Clicks, as a person would: USB, the station's trace on the wide spectrum, the
# 100 Hz and 10 Hz step buttons to the exact tuning, ON. Then the I/Q recording is played into
# "iq" with paplay, what the receiver plays is recorded from "audio.monitor" with parec (and what
# reaches it from "iq.monitor"), OFF is clicked, and the recording is decoded with multimon-ng.
# One line per start: server, mode (test or stock), start, the time the server took to start,
# with --events how many of each were done, the receiver's CPU share while ON (100 % is one
# core), its loss counters (printed with CORVANE_ARGS=--verbose), whether the I/Q reached the
# capture device intact (or whole but with silence put in, as when the server was stopped; if
# neither, the player or the server lost or changed data, not the receiver), and the decoded
# digits with the verdict, and with --kill the time from the kill to the message. A final summary
# repeats the lines. For CI: --starts 1. The receiver records what its own record stream got
# (--record-iq), and that is checked too ("capture"): a moved stream can be damaged by the
# server while the device's monitor gets everything. A start that fails while the input check
# says the server lost or changed the I/Q before the receiver could capture it, or the capture
# check says so of the receiver's own stream (its counters showing nothing lost, and no stop
# event), is not counted and is run again (at most twice), as start N.2 and N.3.
# For move, "spare" is a remap sink on "audio" and "iq_spare" a remap source on "iq.monitor":
# the moved streams then go through another sink and source of the server (the move, a new
# latency, a new sink input or source output), yet what the receiver plays while moved still
# reaches audio.monitor in time, in the one recording, and it still hears the same I/Q. Two
# independent null sinks' monitors recorded apart and mixed would be up to a block out of step
# and would cut or double a digit at every move. The beep is a tone far from the DTMF rows, and
# quiet, so it is heard in the recording without being read as a digit. PulseAudio drops
# audio from every stream it moves (the time the move took and the new sink's latency), so on
# it one digit a move may come cut or split, when the receiver's counters show it lost,
# restarted and filled nothing. A stopped server holds the player back too, so the I/Q should
# come whole but late, with silence where the server stood still; when the input check says
# so, every digit missing is the receiver's loss.
# With --stock, --events or --kill the receiver gets --verbose, for its counters.
# Exit status: 0 when every start decoded every digit exactly once (and did every kind of event
# asked for, none failing), 1 otherwise, 2 usage error.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd -P)"

usage() {
    sed -n '/^#   bash/,/^# Exit status/p' "$0" | sed 's/^# \{0,1\}//' >&2
}

servers="both"
starts=3
seconds=8
load=0
carrier=7000
kill_signal=""
stock=0
events=""
events_given=0
audio_rate=48000
while [ $# -gt 0 ]; do
    case "$1" in
    --server)
        servers="${2:-}"
        shift 2 || { usage; exit 2; }
        ;;
    --starts)
        starts="${2:-}"
        shift 2 || { usage; exit 2; }
        ;;
    --seconds)
        seconds="${2:-}"
        shift 2 || { usage; exit 2; }
        ;;
    --carrier)
        carrier="${2:-}"
        shift 2 || { usage; exit 2; }
        ;;
    --load)
        load=1
        shift
        ;;
    --kill)
        kill_signal="${2:-}"
        shift 2 || { usage; exit 2; }
        ;;
    --stock)
        stock=1
        shift
        ;;
    --audio-rate)
        audio_rate="${2:-}"
        shift 2 || { usage; exit 2; }
        ;;
    --events)
        events="${2:-}"
        events_given=1
        shift 2 || { usage; exit 2; }
        ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        usage
        exit 2
        ;;
    esac
done
case "${servers}" in
pulseaudio | pipewire) kinds=("${servers}") ;;
both) kinds=(pulseaudio pipewire) ;;
*)
    usage
    exit 2
    ;;
esac
if ! [[ "${kill_signal}" =~ ^(|KILL|TERM)$ ]]; then
    usage
    exit 2
fi
event_kinds=()
if [ "${events_given}" = 1 ]; then
    if ! [[ "${events}" =~ ^(volume|beeps|move|stop)(,(volume|beeps|move|stop))*$ ]]; then
        usage
        exit 2
    fi
    for k in volume beeps move stop; do
        [[ ",${events}," == *",${k},"* ]] && event_kinds+=("${k}")
    done
fi
has_event() { [[ " ${event_kinds[*]-} " == *" $1 "* ]]; }
sound_mode="test"
[ "${stock}" = 0 ] || sound_mode=stock
if ! [[ "${starts}" =~ ^[1-9][0-9]*$ && "${seconds}" =~ ^[0-9]+([.][0-9]+)?$ &&
    "${carrier}" =~ ^-?[0-9]+0$ && "${audio_rate}" =~ ^[1-9][0-9]{3,5}$ ]]; then
    usage
    exit 2
fi
# USB is tuned 1650 Hz above the carrier; the pass band must stay clear of 0 Hz and the edges.
target=$((carrier + 1650))
if [ "${target#-}" -lt 1350 ] || [ "${target#-}" -gt 22650 ]; then
    echo "live: a carrier at ${carrier} Hz cannot be received in USB here" >&2
    exit 2
fi

bin="${CORVANE_BIN:-${root}/build/release/app/corvane}"
read -r -a corvane_args <<<"${CORVANE_ARGS:-}"
# The failure message is timed from the receiver's own report on its error output; on stock
# servers and under events its counters tell how it rode them out.
if [ -n "${kill_signal}" ] || [ "${stock}" = 1 ] || [ "${#event_kinds[@]}" -gt 0 ]; then
    [[ " ${corvane_args[*]-} " == *" --verbose "* ]] || corvane_args+=(--verbose)
fi
# What the receiver's own record stream got, to tell what the server did to it (a moved stream)
# from what the receiver did.
own_capture=1
[[ " ${corvane_args[*]-} " != *" --record-iq "* ]] || own_capture=0
for tool in Xvfb xdotool paplay parec pactl sox multimon-ng python3; do
    command -v "${tool}" >/dev/null || {
        echo "live: ${tool} is missing (bash scripts/install-test-deps.sh)" >&2
        exit 1
    }
done
available() {
    case "$1" in
    pulseaudio) command -v pulseaudio >/dev/null ;;
    pipewire) command -v pipewire >/dev/null && command -v pipewire-pulse >/dev/null &&
        command -v wireplumber >/dev/null ;;
    esac
}
if [ "${servers}" = both ]; then
    kept=()
    for k in "${kinds[@]}"; do
        if available "${k}"; then kept+=("${k}"); else echo "live: ${k} is not installed: skipped" >&2; fi
    done
    kinds=("${kept[@]}")
fi
for k in "${kinds[@]}"; do
    available "${k}" || {
        echo "live: ${k} is not installed" >&2
        exit 1
    }
done

work="$(mktemp -d /tmp/corvane-live.XXXXXX)"
pids=()         # everything started here that may still run, ended on exit
sound_dirs=()   # private servers to stop on exit
failed=0
cleanup() {
    local p d
    for p in "${pids[@]+"${pids[@]}"}"; do kill "${p}" 2>/dev/null || true; done
    # A server the stop event left stopped (its loop ended above) runs on.
    for d in "${sound_dirs[@]+"${sound_dirs[@]}"}"; do
        # shellcheck disable=SC2046
        [ ! -s "${d}/pids" ] || kill -CONT $(awk '{ print $1 }' "${d}/pids") 2>/dev/null || true
    done
    for p in "${pids[@]+"${pids[@]}"}"; do
        for _ in $(seq 1 50); do kill -0 "${p}" 2>/dev/null || break; sleep 0.02; done
        kill -KILL "${p}" 2>/dev/null || true
    done
    for d in "${sound_dirs[@]+"${sound_dirs[@]}"}"; do
        CORVANE_SOUND_DIR="${d}" bash "${root}/scripts/sound-server.sh" stop >/dev/null 2>&1 || true
    done
    if [ "${CORVANE_BENCH_KEEP:-0}" = 1 ] || [ "${failed}" -ne 0 ]; then
        echo "live: the recordings and logs are in ${work}" >&2
    else
        rm -rf "${work}"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

forget() { # PID: no longer to be ended on exit
    local p kept=()
    for p in "${pids[@]+"${pids[@]}"}"; do [ "${p}" = "$1" ] || kept+=("${p}"); done
    pids=("${kept[@]+"${kept[@]}"}")
}

# The DTMF I/Q recording, once for every start.
sent="$(python3 "${root}/bench/live/make-dtmf-iq.py" --seconds "${seconds}" "${carrier}" \
    "${work}/dtmf-iq.wav")"
lead=1.0 # make-dtmf-iq.py's default
if has_event beeps; then
    # Another program's short sound: 300 Hz is below every DTMF row, and -20 dBFS with 10 ms
    # fades is quiet next to the receiver's tones.
    sox -n -r 48000 -b 16 -c 2 "${work}/beep.wav" synth 0.2 sine 300 vol 0.1 fade 0.01 0.2 0.01
fi
echo "live: ${#sent} DTMF digits, carrier ${carrier} Hz, tuning ${target} Hz USB;" \
    "${#kinds[@]} server kind(s) x ${starts} start(s), ${sound_mode} servers$(
        [ "${load}" = 1 ] && echo ', with load')$(
        [ "${#event_kinds[@]}" -eq 0 ] || echo ", events ${events}")$(
        [ "${audio_rate}" = 48000 ] || echo ", audio sink at ${audio_rate} Hz")"

hz=$(getconf CLK_TCK)
cpu_ticks() { # utime + stime of a process, in clock ticks
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || { echo 0; return; }
    stat="${stat##*) }"
    # shellcheck disable=SC2086
    set -- ${stat}
    echo $((${12} + ${13}))
}
now() { date +%s.%N; }

# Waits up to $1 seconds for a command to succeed.
wait_for() {
    local limit="$1"
    shift
    for _ in $(seq 1 $((limit * 20))); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# The receiver's window: the visible one named "Corvane 2.1" that is not a message box.
find_window() {
    local w size
    for w in $(timeout 20 xdotool search --sync --onlyvisible --name '^Corvane 2[.]1$' 2>/dev/null); do
        size="$(xdotool getwindowgeometry "${w}" | sed -n 's/^ *Geometry: //p')"
        if [ "${size%x*}" -ge 900 ] 2>/dev/null; then
            echo "${w} ${size}"
            return 0
        fi
    done
    return 1
}

# Control centres in the window, from the layout in app/frmReceiver.cpp (client coordinates).
tuning_x=676 tuning_y=390 # FrTuning
step_left=(25 50 90 115 140 180 205) # CmdP/CmdM 0..6, 25 x 10, at y 24 (+) and 87 (-)
usb_x=$((tuning_x + 10 + 10 + 35)) usb_y=$((tuning_y + 130 + 100 + 12)) # frMode, OptUsb
on_x=$((10 + 10 + 30)) on_y=$((390 + 20 + 15))  # frPower, cmdOn
off_x=$((10 + 10 + 30)) off_y=$((390 + 60 + 15)) # frPower, cmdOff
wide_x=9 wide_y=31 # Picture2 (1000 x 280) inside Picture1 at (0, 30)

click() { # X Y in the window's own 1018 x 740 layout
    local x y
    x=$(awk -v v="$1" -v s="${scale}" 'BEGIN { printf "%d", v * s + 0.5 }')
    y=$(awk -v v="$2" -v s="${scale}" 'BEGIN { printf "%d", v * s + 0.5 }')
    xdotool mousemove --window "${wid}" "${x}" "${y}" click 1
    sleep 0.15
}

# The tuning a click at pixel X of the wide spectrum gives in USB (app/frmReceiver.cpp:
# 48 Hz per pixel around pixel 500, then dsp/Tuning.cpp's truncation to 10 Hz and limits).
clicked_offset() {
    python3 - "$1" <<'EOF'
import sys
x = int(sys.argv[1])
v = max(-23800, min(23800, round((x - 500) * 48.0)))
v = int(v / 10) * 10  # truncation toward 0
a, h = abs(v), 2700 // 2
if h + a >= 24000:
    a = 24000 - h
if a - 2700 / 2 < 0:
    a = 1350
print(a if v >= 0 else -a)
EOF
}

tune() { # to $target in USB: mode, the trace, then the step buttons
    local x got diff n i
    click "${usb_x}" "${usb_y}"
    x=$(python3 -c "print(500 + round(${target} / 48))") # the pixel nearest the target
    got="$(clicked_offset "${x}")"
    click $((wide_x + x)) $((wide_y + 140))
    diff=$((target - got))
    # Hundreds with buttons 5, tens with button 6 ("+" at y 24, "-" at y 87).
    for i in 5 6; do
        local step=$((i == 5 ? 100 : 10))
        n=$((diff / step))
        diff=$((diff - n * step))
        while [ "${n}" -gt 0 ]; do
            click $((tuning_x + step_left[i] + 12)) $((tuning_y + 24 + 5))
            n=$((n - 1))
        done
        while [ "${n}" -lt 0 ]; do
            click $((tuning_x + step_left[i] + 12)) $((tuning_y + 87 + 5))
            n=$((n + 1))
        done
    done
}

# A loss counter's value on the receiver's counters line ("counters lost=0 merged=0 ..." in
# run_start's `counters`); empty when the line does not show it.
counter() { # NAME
    sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<<" ${counters}"
}

decode() { # recording (raw s16le stereo 48000 Hz) -> the decoded digits
    sox -t raw -r 48000 -e signed-integer -b 16 -c 2 "$1" -t raw -r 22050 -e signed-integer \
        -b 16 -c 1 - remix 1 2>/dev/null |
        multimon-ng -q -c -a DTMF -t raw - 2>/dev/null | sed -n 's/^DTMF: //p' | tr -d '\n'
}

# Whether the whole I/Q file reached the capture device unchanged and in one piece; if not,
# whether all of it came, in order, with silence put in (the server stopped, or the player ran
# dry: nothing the receiver was sent is missing), and what else was put in or never came.
# With "capture", the same for what the receiver's own record stream got (its --record-iq),
# told as WHO's doing (default: the server's, since the device's monitor got it whole).
input_check() { # FILE.wav RECORDING.raw [input|capture [WHO]]
    python3 - "$1" "$2" "${lead}" "${3:-input}" "${4:-server}" <<'EOF'
import sys, wave
with wave.open(sys.argv[1]) as w:
    sent = w.readframes(w.getnframes())
got = open(sys.argv[2], "rb").read()
# What the server loses of the noise before the first digit (a stock PulseAudio null sink's
# monitor misses the first 10 ms of a new player) cannot change what is decoded: told apart.
lead_bytes = int(float(sys.argv[3]) * 48000) * 4
lead_lost = 0


def find(what, start):  # the next frame-aligned occurrence
    at = got.find(what, start)
    while at >= 0 and at % 4:
        at = got.find(what, at + 1)
    return at


if find(sent, 0) >= 0:
    print(f"{sys.argv[4]} intact")
    sys.exit()
# The file in order, 10 ms pieces (its noise makes each unique): runs that match, what came
# between them, and pieces that never came (to within a piece).
piece = 4 * 480
i, j, located = 0, 0, False
lost, pauses, silence, other = 0, 0, 0, 0
while i < len(sent):
    if located:
        n = 0
        while i + n < len(sent) and sent[i + n:i + n + 4096] == got[j + n:j + n + 4096]:
            n += 4096
        while i + n < len(sent) and sent[i + n:i + n + 4] == got[j + n:j + n + 4]:
            n += 4
        i, j = i + n, j + n
        if i >= len(sent):
            break
    at = find(sent[i:i + piece], j)
    if at < 0:
        if i + piece <= lead_bytes:
            lead_lost += piece
        else:
            lost += min(piece, len(sent) - i)
        i += piece
        continue
    if located and at > j:
        if got.count(0, j, at) == at - j:
            pauses, silence = pauses + 1, silence + at - j
        else:
            other += at - j
    located, j = True, at
ms = lambda b: f"{b / 4 / 48:.0f} ms"
lead_note = f" (and {ms(lead_lost)} of the noise before the digits never came)" if lead_lost else ""
what = sys.argv[4]
if lost == 0 and other == 0 and pauses == 0:
    print(f"{what} intact" + lead_note)
elif lost == 0 and other == 0:
    print(f"{what} whole but paused {pauses} time(s), {ms(silence)} in all" + lead_note)
else:
    told = [f"{ms(lost)} never came"] if lost else []
    told += [f"{ms(other)} of other sound put in"] if other else []
    told += [f"{ms(silence)} of silence put in"] if silence else []
    who = "player or server" if what == "input" else sys.argv[5]
    print(f"{what.upper()} NOT INTACT ({who}): " + ", ".join(told))
EOF
}

null_sink() { # NAME [RATE]: a null sink, stereo, at RATE Hz (48000) on the current server
    local extra=""
    # A stock server's null sinks keep the module's defaults, as a user's would.
    [ "${CORVANE_SOUND_SERVER}" = pulseaudio ] && [ "${CORVANE_SOUND_MODE:-test}" = test ] &&
        extra="format=s16le norewinds=1"
    # shellcheck disable=SC2086
    pactl load-module module-null-sink sink_name="$1" ${extra} rate="${2:-48000}" channels=2 \
        >/dev/null
}

make_sinks() {
    null_sink iq && null_sink audio "${audio_rate}" || return 1
    if has_event move; then
        # Where the move event takes the receiver's streams (see the header).
        pactl load-module module-remap-sink sink_name=spare master=audio >/dev/null &&
            pactl load-module module-remap-source source_name=iq_spare master=iq.monitor \
                >/dev/null || return 1
    fi
    pactl set-default-source iq.monitor && pactl set-default-sink audio
}

# The receiver's (process PID's) playback and record streams and where they are:
# "PLAY_INDEX SINK REC_INDEX SOURCE", "-" for a stream it does not have.
receiver_streams() { # PID
    python3 - "$1" <<'EOF'
import json, subprocess, sys

def listed(what):
    out = subprocess.run(["pactl", "-f", "json", "list", what], capture_output=True, text=True,
                         check=True).stdout
    return json.loads(out)

def stream(what, owners, key, name):
    names = {o["index"]: o["name"] for o in listed(owners)}
    for s in listed(what):
        p = s.get("properties", {})
        if p.get("application.process.id") == sys.argv[1] and p.get("media.name") == name:
            return [str(s["index"]), names.get(s[key], "-")]
    return ["-", "-"]

print(" ".join(stream("sink-inputs", "sinks", "sink", "Receiver audio") +
               stream("source-outputs", "sources", "source", "I/Q input")))
EOF
}

# The events (--events) of one start, each run by event_loop in the background while the digits
# play. Each gets its round (0, 1, ...) and fails with the reason on its output.
event_volume() {
    local level=$(($1 % 2 == 0 ? 80 : 100))
    pactl set-sink-volume audio "${level}%"
}

event_beeps() { paplay --device=audio "${work}/beep.wav"; }

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Moves the receiver's two streams to SINK and SOURCE and waits (up to 3 s) until the server
# shows them there. PipeWire links them anew a little later, and (0.3.65 with WirePlumber 0.4)
# now and then leaves a record stream where it is when it is moved back to the default source,
# a monitor: a move not done within half a second is asked for again, as a user would.
move_streams() { # SINK SOURCE
    local play sink rec source start asked
    start="$(now_ms)"
    asked=-1000
    while [ $(($(now_ms) - start)) -lt 3000 ]; do
        read -r play sink rec source <<<"$(receiver_streams "${ev_corvane}")"
        case "${play}:${rec}" in
        :*)
            echo "the streams could not be listed"
            return 1
            ;;
        -:* | *:-)
            echo "the receiver has no playback or record stream"
            return 1
            ;;
        esac
        [ "${sink}" = "$1" ] && [ "${source}" = "$2" ] && return 0
        if [ $(($(now_ms) - start - asked)) -ge 500 ]; then
            asked=$(($(now_ms) - start))
            if [ "${sink}" != "$1" ]; then pactl move-sink-input "${play}" "$1" || return 1; fi
            if [ "${source}" != "$2" ]; then pactl move-source-output "${rec}" "$2" || return 1; fi
        fi
        sleep 0.05
    done
    echo "the streams did not reach $1 and $2 (they are at ${sink} and ${source})"
    return 1
}

event_move() {
    move_streams spare iq_spare || return 1
    sleep 1
    move_streams audio iq.monitor
}

# The server stopped for 2 s and continued; how long after the stop the receiver said its
# input was missing, and after SIGCONT that it was back, go to events.log.stops ("-": not said).
event_stop() {
    local procs err="${ev_log%/*}/corvane.err" missing="-" back="-" m0 b0 t0 t
    mapfile -t procs < <(awk '{ print $1 }' "${ev_sound}/pids")
    [ "${#procs[@]}" -gt 0 ] || { echo "no server processes"; return 1; }
    said() { grep -c "^corvane: input $1" "${err}" || true; }
    # True while less than LIMIT seconds have passed since T0; the seconds passed go to t.
    within() { # T0 LIMIT
        t=$(awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }') &&
            awk -v t="${t}" -v l="$2" 'BEGIN { exit !(t < l) }'
    }
    m0=$(said missing) b0=$(said back)
    t0="$(now)"
    kill -STOP "${procs[@]}" || return 1
    while within "${t0}" 2; do
        [ "${missing}" != - ] || [ "$(said missing)" -le "${m0}" ] || missing="${t}"
        sleep 0.02
    done
    kill -CONT "${procs[@]}"
    t0="$(now)"
    while within "${t0}" 3; do
        [ "$(said back)" -le "${b0}" ] || { back="${t}"; break; }
        sleep 0.02
    done
    echo "${missing} ${back}" >>"${ev_log}.stops"
}

# Sleeps SECONDS; false as soon as the digits are over.
event_pause() {
    local n
    n=$(awk -v s="$1" 'BEGIN { printf "%d", s * 10 + 0.5 }')
    for _ in $(seq 1 "${n}"); do
        [ ! -e "${ev_end}" ] || return 1
        sleep 0.1
    done
    [ ! -e "${ev_end}" ]
}

# One kind of event every PERIOD seconds from OFFSET on, until the digits are over; logs
# "KIND ok" or "KIND failed: WHY" per round. Ended early (the cleanup), it ends the event under
# way too, so nothing acts on the server after the exit.
event_loop() { # KIND OFFSET PERIOD
    local kind="$1" period="$3" round=0 event="" rc
    trap '[ -z "${event}" ] || kill "${event}" 2>/dev/null; exit 0' TERM
    event_pause "$2" || return 0
    while :; do
        # When each event began, in seconds since boot, to set beside the receiver's own log.
        echo "$(cut -d' ' -f1 /proc/uptime) ${kind}" >>"${ev_log}.times"
        "event_${kind}" "${round}" >"${ev_log}.${kind}" 2>&1 &
        event=$!
        wait "${event}" && rc=0 || rc=$?
        event=""
        if [ "${rc}" = 0 ]; then
            echo "${kind} ok" >>"${ev_log}"
        else
            echo "${kind} failed: $(tail -n 1 "${ev_log}.${kind}" | grep . || echo "status ${rc}")" \
                >>"${ev_log}"
        fi
        round=$((round + 1))
        event_pause "${period}" || return 0
    done
}

# "events volume 4, beeps 4, ..." from the log; false when a kind failed or never came.
event_counts() { # LOG
    local k ok bad text="events" all=0
    for k in "${event_kinds[@]}"; do
        ok=$(grep -c "^${k} ok$" "$1" || true)
        bad=$(grep -c "^${k} failed" "$1" || true)
        text="${text}$([ "${k}" = "${event_kinds[0]}" ] || echo ,) ${k} ${ok}"
        if [ "${bad}" -gt 0 ]; then
            text="${text} (${bad} FAILED: $(grep -m 1 "^${k} failed" "$1" | cut -d' ' -f3-))"
            all=1
        elif [ "${ok}" -eq 0 ]; then
            text="${text} (NONE DONE: the digits were too short)"
            all=1
        fi
    done
    echo "${text}"
    return "${all}"
}

# ON, the server killed with $kill_signal, the message timed and closed, the server back.
kill_server() { # DIR SOUND CORVANE_PID
    local dir="$1" sound="$2" corvane="$3" t_kill t_msg waited=0 box lines
    click "${on_x}" "${on_y}"
    sleep 1.5
    lines=$(grep -c '^corvane: ' "${dir}/corvane.err" || true) # the counters line at OFF too
    t_kill="$(now)"
    # shellcheck disable=SC2046
    kill "-${kill_signal}" $(awk '{ print $1 }' "${sound}/pids") 2>/dev/null || true
    while [ "$(grep -c '^corvane: ' "${dir}/corvane.err" || true)" -le "${lines}" ]; do
        sleep 0.02
        waited=$((waited + 1))
        [ "${waited}" -lt 250 ] || {
            KILL_RESULT="no message within 5 s of SIG${kill_signal}"
            return 1
        }
    done
    t_msg="$(now)"
    KILL_RESULT="$(awk -v a="${t_kill}" -v b="${t_msg}" 'BEGIN { printf "%.2f", b - a }') s to \"$(
        grep '^corvane: ' "${dir}/corvane.err" | grep -v '^corvane: counters' | tail -n 1 | cut -c 10-)\""
    # The message box: the other visible window of that name; Return closes it.
    wait_for 3 sh -c "[ \$(xdotool search --onlyvisible --name '^Corvane 2[.]1\$' | wc -l) -gt 1 ]" ||
        {
            KILL_RESULT="${KILL_RESULT}, but no message box"
            return 1
        }
    for box in $(xdotool search --onlyvisible --name '^Corvane 2[.]1$'); do
        [ "${box}" = "${wid}" ] || { xdotool windowfocus --sync "${box}" && xdotool key Return; } ||
            true
    done
    CORVANE_SOUND_DIR="${sound}" bash "${root}/scripts/sound-server.sh" "${CORVANE_SOUND_SERVER}" \
        "${sound_mode}" restart >/dev/null 2>>"${dir}/sound-server.err" && make_sinks || {
        KILL_RESULT="${KILL_RESULT}, the server did not come back"
        return 1
    }
    kill -0 "${corvane}" 2>/dev/null || {
        KILL_RESULT="${KILL_RESULT}, the receiver ended"
        return 1
    }
    sleep 0.5
}

summary=()
run_start() { # KIND N
    local kind="$1" n="$2" dir="${work}/$1-$2" line
    mkdir -p "${dir}/config"
    local sound="${dir}/sound"
    sound_dirs+=("${sound}")
    local t0 env_lines server_secs
    t0="$(now)"
    env_lines="$(CORVANE_SOUND_DIR="${sound}" bash "${root}/scripts/sound-server.sh" "${kind}" \
        "${sound_mode}" start 2>"${dir}/sound-server.err")" || {
        cat "${dir}/sound-server.err" >&2
        RESULT="the sound server did not start"
        return 1
    }
    server_secs=$(awk -v a="${t0}" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
    eval "${env_lines}"
    if ! make_sinks; then
        RESULT="the sinks iq and audio could not be made the defaults"
        return 1
    fi

    # Xvfb on a free display; it writes the display number when it is ready.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"${dir}/display" \
        >"${dir}/xvfb.log" 2>&1 &
    local xvfb=$!
    pids+=("${xvfb}")
    wait_for 10 test -s "${dir}/display" || {
        RESULT="Xvfb did not start"
        return 1
    }
    DISPLAY=":$(tr -dc 0-9 <"${dir}/display")"
    export DISPLAY

    wait_for 60 test -x "${bin}" || {
        RESULT="no receiver program at ${bin}"
        return 1
    }
    local own=()
    [ "${own_capture}" = 0 ] || own=(--record-iq "${dir}/capture.wav")
    env -u QT_QPA_PLATFORM -u QT_SCREEN_SCALE_FACTORS QT_SCALE_FACTOR=1 \
        XDG_CONFIG_HOME="${dir}/config" "${bin}" -platform xcb "${corvane_args[@]+"${corvane_args[@]}"}" \
        "${own[@]+"${own[@]}"}" >"${dir}/corvane.out" 2>"${dir}/corvane.err" &
    local corvane=$!
    pids+=("${corvane}")
    local found
    found="$(find_window)" || {
        RESULT="no receiver window ($(tail -n 1 "${dir}/corvane.err"))"
        return 1
    }
    wid="${found%% *}"
    local width="${found#* }"
    width="${width%x*}"
    scale=$(awk -v w="${width}" 'BEGIN { printf "%.4f", w / 1018 }')
    sleep 0.5 # the first timer tick draws the displays

    tune
    KILL_RESULT=""
    if [ -n "${kill_signal}" ] && ! kill_server "${dir}" "${sound}" "${corvane}"; then
        RESULT="SIG${kill_signal}: ${KILL_RESULT}"
        return 1
    fi
    if command -v import >/dev/null; then # ImageMagick: the window as tuned, for a look
        import -window "${wid}" "${dir}/tuned.png" 2>/dev/null || true
    fi

    # Record what the receiver plays, and what reaches its capture device (to tell a gap of
    # the player or the server from one of the receiver), from before ON to after OFF.
    parec --device=audio.monitor --format=s16le --rate=48000 --channels=2 --latency-msec=100 \
        >"${dir}/audio.raw" 2>"${dir}/parec.err" &
    local rec=$!
    pids+=("${rec}")
    parec --device=iq.monitor --format=s16le --rate=48000 --channels=2 --latency-msec=100 \
        >"${dir}/iq.raw" 2>"${dir}/parec-iq.err" &
    local rec_iq=$!
    pids+=("${rec_iq}")
    sleep 0.3

    click "${on_x}" "${on_y}"
    local on_t on_cpu
    on_t="$(now)"
    on_cpu="$(cpu_ticks "${corvane}")"
    sleep 0.3
    # A large buffer keeps the player from running dry under load, which would put gaps into
    # the I/Q that are not the receiver's.
    paplay --device=iq --latency-msec=300 "${work}/dtmf-iq.wav" 2>"${dir}/paplay.err" &
    local play=$!
    pids+=("${play}")
    local loops=()
    if [ "${#event_kinds[@]}" -gt 0 ]; then
        # Staggered so that no two kinds start together (see the header).
        ev_log="${dir}/events.log" ev_end="${dir}/events.end" ev_sound="${sound}"
        ev_corvane="${corvane}"
        : >"${ev_log}"
        rm -f "${ev_end}"
        local k offset period
        for k in "${event_kinds[@]}"; do
            case "${k}" in
            volume) offset=0.4 period=2.5 ;;
            beeps) offset=1.0 period=2.5 ;;
            move) offset=1.6 period=3 ;;
            stop) offset=2.2 period=5 ;;
            esac
            event_loop "${k}" "${offset}" "${period}" &
            loops+=($!)
            pids+=($!)
        done
    fi
    local busy=()
    if [ "${load}" = 1 ]; then
        # Two busy processes for 4 s, centred on the digits.
        sleep "$(awk -v l="${lead}" -v s="${seconds}" 'BEGIN { d = l + s / 2 - 2; print (d > 0 ? d : 0) }')"
        echo "$(cut -d' ' -f1 /proc/uptime) load" >>"${dir}/events.log.times"
        for _ in 1 2; do
            timeout 4 sh -c 'while :; do :; done' &
            busy+=($!)
            pids+=($!)
        done
    fi
    wait "${play}" || true
    forget "${play}"
    local events_text="" events_ok=0
    if [ "${#loops[@]}" -gt 0 ]; then
        # Each loop ends its current event (a stopped server goes on) and then ends.
        touch "${ev_end}"
        for p in "${loops[@]}"; do wait "${p}" 2>/dev/null || true; forget "${p}"; done
        events_text="$(event_counts "${ev_log}")" || events_ok=1
    fi
    for p in "${busy[@]+"${busy[@]}"}"; do wait "${p}" 2>/dev/null || true; forget "${p}"; done
    sleep 1.5 # the last blocks through the receiver and the server
    local off_cpu off_t
    off_cpu="$(cpu_ticks "${corvane}")"
    off_t="$(now)"
    click "${off_x}" "${off_y}"
    sleep 0.5
    kill -INT "${rec}" "${rec_iq}" 2>/dev/null || true
    wait "${rec}" "${rec_iq}" 2>/dev/null || true
    forget "${rec}"
    forget "${rec_iq}"

    local cpu counters boxes
    cpu=$(awk -v t="$((off_cpu - on_cpu))" -v hz="${hz}" -v a="${on_t}" -v b="${off_t}" \
        'BEGIN { printf "%.1f", 100 * t / hz / (b - a) }')
    counters="$(grep -o 'counters .*' "${dir}/corvane.err" | tail -n 1 || true)"
    [ -n "${counters}" ] || counters="counters n/a"
    boxes=$(xdotool search --onlyvisible --name '^Corvane 2[.]1$' 2>/dev/null | wc -l)
    if ! kill -0 "${corvane}" 2>/dev/null; then
        counters="${counters}, the receiver ended ($(tail -n 1 "${dir}/corvane.err"))"
    elif [ "${boxes}" -gt 1 ]; then
        counters="${counters}, a message box is up"
    fi
    kill "${corvane}" 2>/dev/null || true
    wait "${corvane}" 2>/dev/null || true
    forget "${corvane}"
    kill "${xvfb}" 2>/dev/null || true
    wait "${xvfb}" 2>/dev/null || true
    forget "${xvfb}"
    CORVANE_SOUND_DIR="${sound}" bash "${root}/scripts/sound-server.sh" stop >/dev/null 2>&1 || true

    local got verdict input
    got="$(decode "${dir}/audio.raw")"
    # A stopped server holds the digit it was playing (and what its queues held): after the
    # stop the receiver lets that backlog go rather than play it late, so up to 3 digits per
    # stop may be missing; the receiver must have said the input was missing at each stop, and
    # stayed on (no message box), and nothing may be extra, nor doubled but the one digit
    # per stop that the server itself cut in two (below).
    local stops allowed=0 doubled_allowed=0 missing_said
    stops=$(grep -c '^stop ok$' "${ev_log:-/dev/null}" 2>/dev/null || true)
    if [ "${stops:-0}" -gt 0 ]; then
        allowed=$((3 * stops))
        # The stopped server also stops what it is playing: the digit sounding then is heard
        # in two parts, 2 s apart, as from any player (its own queue plays out when it goes on).
        doubled_allowed="${stops}"
        missing_said=$(grep -c '^corvane: input missing' "${dir}/corvane.err" || true)
        events_text="${events_text}, input missing ${missing_said} time(s)"
        [ "${missing_said}" -eq "${stops}" ] || events_ok=1
        # Each within a second: "no input" after the stop, reception back after SIGCONT.
        local late
        late="$(awk '{ m = $1 == "-" ? 99 : $1 + 0; b = $2 == "-" ? 99 : $2 + 0
                       if (NR == 1 || m > mm) mm = m
                       if (NR == 1 || b > bb) bb = b }
                     END { printf "%.2f %.2f", mm, bb; exit !(NR > 0 && mm <= 1 && bb <= 1) }' \
            "${ev_log}.stops")" || events_ok=1
        events_text="${events_text} (at most ${late% *} s after the stop), back at most ${late#* } s after SIGCONT"
    fi
    # PulseAudio drops from a stream moved to another sink the time the move took and the new
    # sink's latency (its sink code: it keeps the stream's time "and may lose some audio"); a
    # plain player loses 60 to 80 ms at each move into the remap sink (move-control.sh). So a
    # digit cut short or split at a move, one a move, is the server's, as long as the receiver
    # itself lost, restarted and filled nothing.
    local moves
    moves=$(grep -c '^move ok$' "${ev_log:-/dev/null}" 2>/dev/null || true)
    if [ "${kind}" = pulseaudio ] && [ "${moves:-0}" -gt 0 ] && [ "$(counter lost)" = 0 ] &&
        [ "$(counter restarts)" = 0 ] && [ "$(counter fills)" = 0 ]; then
        allowed=$((allowed + moves))
        doubled_allowed=$((doubled_allowed + moves))
        events_text="${events_text}, up to ${moves} digit(s) cut or split at moves allowed (the server's)"
    fi
    verdict="$(python3 "${root}/bench/live/compare-digits.py" "${sent}" "${got}" "${allowed}" \
        "${doubled_allowed}")" || true
    input="$(input_check "${work}/dtmf-iq.wav" "${dir}/iq.raw")"
    [[ "${input}" != "INPUT NOT INTACT"* ]] || SERVER_DAMAGED=1
    if [ "${own_capture}" = 1 ]; then
        local capture="capture not recorded" who=server
        # After a stop the receiver itself lets the captured backlog go.
        [ "${stops:-0}" = 0 ] || who="server, or the backlog let go after a stop"
        if sox "${dir}/capture.wav" -t raw "${dir}/capture.raw" 2>/dev/null; then
            capture="$(input_check "${work}/dtmf-iq.wav" "${dir}/capture.raw" capture "${who}")"
        fi
        input="${input}, ${capture}"
        # The receiver's record stream damaged while the device's monitor got the I/Q whole:
        # the server's doing (a moved stream) when the receiver lost nothing of what came; a
        # stopped server's input is judged by the stop rule above instead.
        if [[ "${capture}" == "CAPTURE NOT INTACT"* ]] && [ "$(counter lost)" = 0 ] &&
            [ "${stops:-0}" = 0 ]; then
            SERVER_DAMAGED=1
        fi
    fi
    RESULT="server ${server_secs} s,${KILL_RESULT:+ SIG${kill_signal}: ${KILL_RESULT},}${events_text:+ ${events_text},} cpu ${cpu} %, ${counters}, ${input}, decoded '${got}': ${verdict}"
    [[ "${verdict}" == OK* ]] && [ "${events_ok}" = 0 ] && [ "${boxes}" -le 1 ]
}

total=0
ok=0
for kind in "${kinds[@]}"; do
    for n in $(seq 1 "${starts}"); do
        total=$((total + 1))
        # A start whose I/Q the server itself lost or changed on the way to the capture device
        # (the input check, from the server's own monitor, says so) cannot judge the receiver:
        # it is shown, not counted, and run again, at most twice.
        for attempt in 1 2 3; do
            RESULT=""
            SERVER_DAMAGED=0
            name="${n}"
            [ "${attempt}" = 1 ] || name="${n}.${attempt}"
            if run_start "${kind}" "${name}"; then
                ok=$((ok + 1))
                passed=1
            else
                passed=0
                # Whatever this start left running ends before the next one.
                for p in "${pids[@]+"${pids[@]}"}"; do kill "${p}" 2>/dev/null || true; done
                pids=()
                CORVANE_SOUND_DIR="${work}/${kind}-${name}/sound" \
                    bash "${root}/scripts/sound-server.sh" stop >/dev/null 2>&1 || true
            fi
            line="$(printf '%-10s %s start %s: %s' "${kind}" "${sound_mode}" "${name}" \
                "${RESULT:-failed}")"
            if [ "${passed}" = 0 ] && [ "${attempt}" -lt 3 ] && [ "${SERVER_DAMAGED}" = 1 ]; then
                echo "${line} (not counted: the server damaged the input; run again)"
                summary+=("${line} (not counted)")
                continue
            fi
            [ "${passed}" = 1 ] || failed=1
            echo "${line}"
            summary+=("${line}")
            break
        done
    done
done

echo "== live summary: ${ok} of ${total} start(s) decoded every digit exactly once"
for line in "${summary[@]}"; do
    echo "  ${line}"
done
[ "${ok}" -eq "${total}" ]
