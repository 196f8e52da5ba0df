#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Starts (or stops) a private sound server for the sound tests and prints the environment that
# reaches it, for `eval "$(bash tools/sound-server.sh)"`.
#
#   bash tools/sound-server.sh [pulseaudio|pipewire|auto] [start|stop|restart]   (auto start)
#
# auto is PipeWire when pipewire, pipewire-pulse and wireplumber are installed, else PulseAudio.
# The server runs as the calling user (root in CI), with every socket, log and state file under
# CORVANE_SOUND_DIR (default /tmp/corvane-sound): runtime directory $dir/runtime, PulseAudio
# protocol socket $dir/runtime/pulse/native. Nothing of the user's or the system's sound setup is
# read or changed, and a second instance with another CORVANE_SOUND_DIR is independent.
#  - PulseAudio: `pulseaudio -n` (no configuration files) with the native protocol and the sink.
#  - PipeWire: `pipewire` and `pipewire-pulse` with their stock configuration, and `wireplumber`
#    with a private configuration that leaves out D-Bus, Bluetooth, the portal and the hardware
#    monitors (so the server never opens a real card). The daemons get no D-Bus session and no X
#    display.
# After start there is one null sink "corvane" at 48000 Hz stereo; it is the default sink and its
# monitor the default source, so what is played comes back as capture. ALSA's default device is
# routed to the server through the pulse plugin (libasound2-plugins) by a two-line asoundrc
# added to ALSA_CONFIG_PATH, which is how PortAudio's default device reaches it.
#
# start reuses a live server of the requested kind (another kind is stopped first); stop ends
# every process of the server and waits until they are gone; restart is stop then start.
# stdout carries only the export lines (XDG_RUNTIME_DIR, PULSE_RUNTIME_PATH, PULSE_SERVER,
# ALSA_CONFIG_PATH, CORVANE_SOUND_SERVER); messages go to stderr.
set -euo pipefail

usage() {
    echo "usage: bash tools/sound-server.sh [pulseaudio|pipewire|auto] [start|stop|restart]" >&2
}

kind="auto"
action="start"
for arg in "$@"; do
    case "${arg}" in
    pulseaudio | pipewire | auto) kind="${arg}" ;;
    start | stop | restart) action="${arg}" ;;
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

if [ "${kind}" = auto ]; then
    if command -v pipewire >/dev/null && command -v pipewire-pulse >/dev/null &&
        command -v wireplumber >/dev/null; then
        kind=pipewire
    else
        kind=pulseaudio
    fi
fi

dir="${CORVANE_SOUND_DIR:-/tmp/corvane-sound}"
mkdir -p "${dir}"
dir="$(cd "${dir}" && pwd -P)"
runtime="${dir}/runtime"
socket="${runtime}/pulse/native"
pids="${dir}/pids"

export XDG_RUNTIME_DIR="${runtime}"
export PULSE_RUNTIME_PATH="${runtime}/pulse"
export PULSE_SERVER="unix:${socket}"

say() { echo "sound-server: $*" >&2; }

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

# The start time (in clock ticks since boot) of a process, which tells it from a later process
# that got the same id; empty when there is no such process or it has ended (a zombie).
start_time() {
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 0
    stat="${stat##*) }"
    # shellcheck disable=SC2086
    set -- ${stat}
    [ "$1" = Z ] || [ "$1" = X ] || echo "${20}"
}

# Whether the process recorded as "pid start-time" is still that process and running.
recorded_alive() { [ -n "$1" ] && [ "$(start_time "$1")" = "$2" ]; }

# All the recorded processes run (and at least one is recorded).
all_alive() {
    local pid st name any=1
    [ -s "${pids}" ] || return 1
    while read -r pid st name; do
        recorded_alive "${pid}" "${st}" || return 1
        any=0
    done <"${pids}"
    return "${any}"
}

# A stopped (SIGSTOP) or hung server accepts the connection but never answers.
server_answers() { timeout 2 pactl info >/dev/null 2>&1; }

stop_server() {
    local pid st name p deadline killed=0
    local -a live=() left=()
    if [ -s "${pids}" ]; then
        while read -r pid st name; do
            if recorded_alive "${pid}" "${st}"; then
                live+=("${pid}:${st}")
                # SIGCONT too: a stopped process acts on SIGTERM only once it runs again.
                kill -TERM "${pid}" 2>/dev/null || true
                kill -CONT "${pid}" 2>/dev/null || true
            fi
        done <"${pids}"
    fi
    # A server started by an earlier version of this script kept only PulseAudio's pid file.
    if [ -s "${runtime}/pulse/pid" ]; then
        pid="$(tr -dc 0-9 <"${runtime}/pulse/pid")"
        if [ -n "${pid}" ] && [ -n "$(start_time "${pid}")" ] &&
            grep -qxE 'pulseaudio|pipewire-pulse' "/proc/${pid}/comm" 2>/dev/null &&
            tr '\0' '\n' <"/proc/${pid}/environ" 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=${runtime}"; then
            live+=("${pid}:$(start_time "${pid}")")
            kill -TERM "${pid}" 2>/dev/null || true
            kill -CONT "${pid}" 2>/dev/null || true
        fi
    fi
    deadline=$(($(date +%s) + 5))
    while :; do
        left=()
        for p in "${live[@]+"${live[@]}"}"; do
            recorded_alive "${p%%:*}" "${p##*:}" && left+=("${p}")
        done
        [ "${#left[@]}" -eq 0 ] && break
        if [ "$(date +%s)" -ge "${deadline}" ]; then
            if [ "${killed}" = 1 ]; then
                say "processes that do not end even on SIGKILL: ${left[*]%%:*}"
                return 1
            fi
            say "killing what did not end on SIGTERM: ${left[*]%%:*}"
            for p in "${left[@]}"; do kill -KILL "${p%%:*}" 2>/dev/null || true; done
            killed=1
            deadline=$(($(date +%s) + 5))
            live=("${left[@]}")
            sleep 0.05
            continue
        fi
        sleep 0.02
    done
    rm -f "${pids}" "${dir}/kind" "${socket}" "${runtime}/pulse/pid" \
        "${runtime}/pipewire-0" "${runtime}/pipewire-0.lock" \
        "${runtime}/pipewire-0-manager" "${runtime}/pipewire-0-manager.lock"
    [ "${#live[@]}" -gt 0 ] && say "stopped the server in ${dir}"
    return 0
}

# Starts one daemon in its own session with the private environment, logging to $dir/NAME.log,
# and records "pid start-time name" in $pids.
daemon() {
    local name="$1" pid st
    shift
    (
        cd "${dir}"
        exec env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u PIPEWIRE_REMOTE \
            -u PULSE_SERVER -u PULSE_COOKIE \
            XDG_RUNTIME_DIR="${runtime}" PIPEWIRE_RUNTIME_DIR="${runtime}" \
            PULSE_RUNTIME_PATH="${runtime}/pulse" XDG_CONFIG_HOME="${dir}/config" \
            XDG_STATE_HOME="${dir}/state" XDG_DATA_HOME="${dir}/data" HOME="${dir}" \
            setsid "$@" </dev/null >>"${dir}/${name}.log" 2>&1
    ) &
    pid=$!
    st="$(start_time "${pid}")"
    echo "${pid} ${st} ${name}" >>"${pids}"
}

# Waits (up to about 10 s) until the command succeeds; fails early when a daemon has ended.
wait_for() {
    local what="$1"
    shift
    for _ in $(seq 1 500); do
        "$@" && return 0
        if ! all_alive; then
            say "a ${kind} process ended while waiting for ${what}; logs in ${dir}:"
            tail -n 5 "${dir}"/*.log >&2 || true
            return 1
        fi
        sleep 0.02
    done
    say "gave up waiting for ${what}; logs in ${dir}:"
    tail -n 5 "${dir}"/*.log >&2 || true
    return 1
}

write_wireplumber_config() {
    mkdir -p "${dir}/config/wireplumber/main.lua.d" "${dir}/state" "${dir}/data"
    # WirePlumber 0.4: the stock main and policy scripts without the Bluetooth part (which
    # needs D-Bus and logind), and no real-time module.
    cat >"${dir}/config/wireplumber/wireplumber.conf" <<'EOF'
context.properties = {
  log.level = 2
  wireplumber.script-engine = lua-scripting
}
context.spa-libs = {
  audio.convert.* = audioconvert/libspa-audioconvert
  support.*       = support/libspa-support
}
context.modules = [
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-client-device }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-metadata }
  { name = libpipewire-module-session-manager }
]
wireplumber.components = [
  { name = libwireplumber-module-lua-scripting, type = module }
  { name = main.lua, type = config/lua }
  { name = policy.lua, type = config/lua }
]
EOF
    # Read after the stock 50-*-config.lua files and before 90-enable-all.lua enables them:
    # no hardware monitors, no flatpak portal (D-Bus).
    cat >"${dir}/config/wireplumber/main.lua.d/60-corvane-private.lua" <<'EOF'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
EOF
}

start_server() {
    mkdir -p "${runtime}/pulse"
    chmod 700 "${runtime}" "${runtime}/pulse"
    : >"${pids}"
    echo "${kind}" >"${dir}/kind"
    rm -f "${socket}" "${runtime}/pulse/pid"
    case "${kind}" in
    pulseaudio)
        daemon pulseaudio pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 \
            --log-target=stderr \
            -L "module-native-protocol-unix auth-anonymous=1 socket=${socket}"
        ;;
    pipewire)
        write_wireplumber_config
        rm -f "${runtime}/pipewire-0" "${runtime}/pipewire-0.lock"
        daemon pipewire pipewire
        wait_for "pipewire's socket" test -S "${runtime}/pipewire-0"
        daemon wireplumber wireplumber
        daemon pipewire-pulse pipewire-pulse
        ;;
    esac
    wait_for "the PulseAudio protocol at ${socket}" server_answers
}

has_sink() { pactl list short sinks 2>/dev/null | awk -v s="$1" '$2 == s { f = 1 } END { exit !f }'; }

defaults_right() {
    local info
    info="$(pactl info 2>/dev/null)" &&
        grep -qx 'Default Sink: corvane' <<<"${info}" &&
        grep -qx 'Default Source: corvane.monitor' <<<"${info}"
}

defaults_set() {
    defaults_right || {
        pactl set-default-sink corvane >/dev/null 2>&1 &&
            pactl set-default-source corvane.monitor >/dev/null 2>&1 &&
            defaults_right
    }
}

setup_sink() {
    if ! has_sink corvane; then
        local extra=""
        # Without rewinds PulseAudio's null sink hands its monitor every sample played, in order;
        # with them, the start of a new stream replaces what the monitor had not yet delivered.
        [ "${kind}" = pulseaudio ] && extra="format=s16le norewinds=1"
        # shellcheck disable=SC2086
        pactl load-module module-null-sink sink_name=corvane ${extra} rate=48000 channels=2 \
            >/dev/null
    fi
    # PipeWire's defaults need WirePlumber's metadata, which may come a little after the socket.
    wait_for "default sink corvane and source corvane.monitor" defaults_set
}

live_kind() {
    if pactl info 2>/dev/null | grep -q '^Server Name: .*PipeWire'; then
        echo pipewire
    else
        echo pulseaudio
    fi
}

print_env() {
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"${dir}/asoundrc"
    printf 'export XDG_RUNTIME_DIR=%q\n' "${runtime}"
    printf 'export PULSE_RUNTIME_PATH=%q\n' "${runtime}/pulse"
    printf 'export PULSE_SERVER=%q\n' "unix:${socket}"
    printf 'export ALSA_CONFIG_PATH=%q\n' "/usr/share/alsa/alsa.conf:${dir}/asoundrc"
    printf 'export CORVANE_SOUND_SERVER=%q\n' "${kind}"
}

case "${action}" in
stop)
    stop_server
    exit
    ;;
restart)
    stop_server
    ;;
esac

t0="$(now)"
answers=0
server_answers && answers=1
if [ "${answers}" = 1 ] && all_alive && [ "$(live_kind)" = "${kind}" ]; then
    how="reused"
else
    if [ "${answers}" = 1 ] || [ -s "${pids}" ] || [ -s "${runtime}/pulse/pid" ]; then
        stop_server
    fi
    if server_answers; then
        say "another server answers at ${socket}; stop it first"
        exit 1
    fi
    if ! start_server; then
        stop_server
        exit 1
    fi
    how="started"
fi
if ! setup_sink; then
    [ "${how}" = started ] && stop_server
    exit 1
fi
say "${kind} ${how} in $(since "${t0}") s at ${socket}; default sink corvane, source corvane.monitor"
print_env
