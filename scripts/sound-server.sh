#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Starts (or stops) a private sound server for the sound tests and prints the environment that
# reaches it, for `eval "$(bash scripts/sound-server.sh)"`.
#
#   bash scripts/sound-server.sh [pulseaudio|pipewire|auto] [test|stock] [start|stop|restart]
#                                                                     (auto test start)
#
# auto is PipeWire when pipewire, pipewire-pulse and wireplumber are installed, else PulseAudio.
# The server runs as the calling user (root in CI), with every socket, log and state file under
# CORVANE_SOUND_DIR (default /tmp/corvane-sound): runtime directory $dir/runtime, PulseAudio
# protocol socket $dir/runtime/pulse/native, HOME $dir, XDG_CONFIG_HOME $dir/config,
# XDG_STATE_HOME $dir/state. Nothing of the user's or the system's sound setup is read or
# changed, and a second instance with another CORVANE_SOUND_DIR is independent.
#
# test (the default) is a server shaped for the tests:
#  - PulseAudio: `pulseaudio -n` (no configuration files) with the native protocol (anonymous
#    clients allowed) and the sink.
#  - PipeWire: `pipewire` and `pipewire-pulse` with their stock configuration, and `wireplumber`
#    with a private wireplumber.conf that leaves out Bluetooth and the real-time module, and
#    main.lua.d/60-corvane-private.lua: no hardware monitors (so the server never opens a real
#    card) and no flatpak portal (D-Bus).
# stock is the server as the distribution ships it, less only what would open real devices or
# needs the machine's D-Bus, logind or portal:
#  - PulseAudio: without -n, so /etc/pulse/daemon.conf and a copy of /etc/pulse/default.pa load
#    (restore databases, module-always-sink, suspend-on-idle, role-cork, filter-apply and the
#    rest), the copy at $dir/.config/pulse/default.pa with the module-udev-detect, module-detect
#    and Bluetooth lines commented out. Clients authenticate with the server's cookie
#    ($dir/config/pulse/cookie, exported as PULSE_COOKIE). --exit-idle-time=-1: the sinks are
#    made here, not by a configuration file, and nothing restarts a server that ended while no
#    client was connected, so the harness must not lose the server between its clients.
#  - PipeWire: the three daemons with the distribution's pipewire.conf, pipewire-pulse.conf and
#    wireplumber.conf (real-time module, Bluetooth component and all); the only private files
#    are the same main.lua.d/60-corvane-private.lua as in test mode and
#    bluetooth.lua.d/60-corvane-private.lua, which disables the BlueZ monitor (the system
#    D-Bus, logind and real devices). PULSE_COOKIE points at $dir/config/pulse/cookie too, which
#    the first client writes, so no client writes the user's own.
# The daemons get no D-Bus session and no X display in either mode.
# After start there is one null sink "corvane" at 48000 Hz stereo (on PulseAudio in test mode
# s16le without rewinds; otherwise with the module's defaults); it is the default sink and its
# monitor the default source, so what is played comes back as capture. ALSA's default device is
# routed to the server through the pulse plugin (libasound2-plugins) by a two-line asoundrc
# added to ALSA_CONFIG_PATH, which is how PortAudio's default device reaches it.
#
# start reuses a live server of the requested kind and mode (any other is stopped first; the
# kind and mode are kept in $dir/kind and $dir/mode); stop ends every process of the server,
# whichever its mode, and waits until they are gone; restart is stop then start.
# stdout carries only the export lines (XDG_RUNTIME_DIR, PULSE_RUNTIME_PATH, PULSE_SERVER,
# PULSE_COOKIE, ALSA_CONFIG_PATH, CORVANE_SOUND_SERVER, CORVANE_SOUND_MODE);
# messages go to stderr.
set -euo pipefail

usage() {
    echo "usage: bash scripts/sound-server.sh [pulseaudio|pipewire|auto] [test|stock]" \
        "[start|stop|restart]" >&2
}

kind="auto"
mode="test"
action="start"
for arg in "$@"; do
    case "${arg}" in
    pulseaudio | pipewire | auto) kind="${arg}" ;;
    test | stock) mode="${arg}" ;;
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
# Where PulseAudio keeps its cookie under the private XDG_CONFIG_HOME.
cookie="${dir}/config/pulse/cookie"

export XDG_RUNTIME_DIR="${runtime}"
export PULSE_RUNTIME_PATH="${runtime}/pulse"
export PULSE_SERVER="unix:${socket}"
# Clients of either mode read (and, when it is missing, write) this cookie, never the user's.
export PULSE_COOKIE="${cookie}"

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
    rm -f "${pids}" "${dir}/kind" "${dir}/mode" "${socket}" "${runtime}/pulse/pid" \
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
    if [ "${mode}" = stock ]; then
        # The distribution's wireplumber.conf, not one a test-mode start left here.
        rm -f "${dir}/config/wireplumber/wireplumber.conf"
        mkdir -p "${dir}/config/wireplumber/bluetooth.lua.d"
        # Read after the stock 50-bluez-config.lua and before 90-enable-all.lua: the BlueZ
        # monitor would talk to the machine's bluetoothd over the system bus (and to logind).
        cat >"${dir}/config/wireplumber/bluetooth.lua.d/60-corvane-private.lua" <<'EOF'
bluez_monitor.enabled = false
EOF
        write_wireplumber_private
        return
    fi
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
    write_wireplumber_private
}

write_wireplumber_private() {
    # Read after the stock 50-*-config.lua files and before 90-enable-all.lua enables them:
    # no hardware monitors, no flatpak portal (D-Bus).
    cat >"${dir}/config/wireplumber/main.lua.d/60-corvane-private.lua" <<'EOF'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
EOF
}

# The distribution's default.pa less the modules that open real devices (udev or module-detect
# would take a developer's sound cards) or reach bluetoothd over the system bus. Written where
# PulseAudio 16 looks before /etc/pulse, $HOME/.config/pulse/default.pa (it reads its
# configuration from HOME, not XDG_CONFIG_HOME), as a user would override it; what it includes
# (/etc/pulse/default.pa.d) stays as shipped.
write_pulseaudio_config() {
    local modules='udev-detect|detect|bluetooth-policy|bluetooth-discover'
    local line="^[[:space:]]*load-module[[:space:]]+module-(${modules})([[:space:]]|\$)"
    local file="${dir}/.config/pulse/default.pa"
    mkdir -p "${dir}/.config/pulse"
    sed -E "/${line}/s/^/# left out here: /" /etc/pulse/default.pa >"${file}"
    if grep -qE "${line}" "${file}"; then
        say "could not leave the hardware detection out of /etc/pulse/default.pa"
        return 1
    fi
}

start_server() {
    mkdir -p "${runtime}/pulse" "${dir}/config/pulse"
    chmod 700 "${runtime}" "${runtime}/pulse"
    : >"${pids}"
    echo "${kind}" >"${dir}/kind"
    echo "${mode}" >"${dir}/mode"
    rm -f "${socket}" "${runtime}/pulse/pid"
    case "${kind}" in
    pulseaudio)
        if [ "${mode}" = stock ]; then
            write_pulseaudio_config || return 1
            daemon pulseaudio pulseaudio --daemonize=no --use-pid-file=no --exit-idle-time=-1 \
                --log-target=stderr ${CORVANE_SOUND_DEBUG:+--log-level=debug}
            # The native protocol module writes the cookie when it loads, before the socket.
            wait_for "the cookie ${cookie}" test -s "${cookie}"
        else
            daemon pulseaudio pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 \
                --log-target=stderr ${CORVANE_SOUND_DEBUG:+--log-level=debug} \
                -L "module-native-protocol-unix auth-anonymous=1 socket=${socket}"
        fi
        ;;
    pipewire)
        write_wireplumber_config
        rm -f "${runtime}/pipewire-0" "${runtime}/pipewire-0.lock"
        daemon pipewire pipewire
        wait_for "pipewire's socket" test -S "${runtime}/pipewire-0"
        daemon wireplumber wireplumber
        daemon pipewire-pulse pipewire-pulse
        # pipewire-pulse takes any cookie: the clients write this one.
        [ "${mode}" = test ] || mkdir -p "${dir}/config/pulse"
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
        # A stock server keeps the module's defaults, rewinds and all.
        [ "${kind}" = pulseaudio ] && [ "${mode}" = test ] && extra="format=s16le norewinds=1"
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
    printf 'export PULSE_COOKIE=%q\n' "${cookie}"
    printf 'export ALSA_CONFIG_PATH=%q\n' "/usr/share/alsa/alsa.conf:${dir}/asoundrc"
    printf 'export CORVANE_SOUND_SERVER=%q\n' "${kind}"
    printf 'export CORVANE_SOUND_MODE=%q\n' "${mode}"
}

# The mode of the server in $dir; one started before modes were kept is a test server.
live_mode() { cat "${dir}/mode" 2>/dev/null || echo test; }

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
if [ "${answers}" = 1 ] && all_alive && [ "$(live_kind)" = "${kind}" ] &&
    [ "$(live_mode)" = "${mode}" ]; then
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
label="${kind}"
[ "${mode}" = test ] || label="${kind} (${mode})"
say "${label} ${how} in $(since "${t0}") s at ${socket}; default sink corvane, source corvane.monitor"
print_env
