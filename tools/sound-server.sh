#!/usr/bin/env bash
# Starts a private PulseAudio server for the sound tests and prints the environment that
# reaches it, for `eval "$(bash tools/sound-server.sh)"`.
#
# The server runs as the calling user (root in CI, hence -n and no system config), daemonized,
# with its runtime directory under CORVANE_SOUND_DIR (default /tmp/corvane-sound). It has one
# null sink "corvane" at 48000 Hz stereo; the default source is that sink's monitor, so what is
# played comes back as capture. ALSA's default device is routed to the server through the pulse
# plugin (libasound2-plugins) by a two-line asoundrc added to ALSA_CONFIG_PATH, which is how
# PortAudio's default device reaches it. Running the script again reuses a live server.
set -euo pipefail

dir="${CORVANE_SOUND_DIR:-/tmp/corvane-sound}"
runtime="${dir}/runtime"
socket="${runtime}/pulse/native"
mkdir -p "${runtime}/pulse"
chmod 700 "${runtime}"

export XDG_RUNTIME_DIR="${runtime}"
export PULSE_RUNTIME_PATH="${runtime}/pulse"
export PULSE_SERVER="unix:${socket}"

if ! pactl info >/dev/null 2>&1; then
    rm -f "${socket}" "${runtime}/pulse/pid"
    pulseaudio -n --daemonize=yes --use-pid-file=yes --exit-idle-time=-1 \
        --log-target="file:${dir}/pulseaudio.log" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=${socket}" \
        -L "module-null-sink sink_name=corvane rate=48000 channels=2"
    for _ in $(seq 1 50); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    pactl info >/dev/null 2>&1 || {
        echo "sound-server: PulseAudio did not start; see ${dir}/pulseaudio.log" >&2
        exit 1
    }
fi
pactl set-default-sink corvane >&2
pactl set-default-source corvane.monitor >&2

printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"${dir}/asoundrc"
alsa_path="/usr/share/alsa/alsa.conf:${dir}/asoundrc"

echo "sound-server: PulseAudio at ${socket}, default sink corvane, source corvane.monitor" >&2
printf 'export XDG_RUNTIME_DIR=%q\n' "${runtime}"
printf 'export PULSE_RUNTIME_PATH=%q\n' "${runtime}/pulse"
printf 'export PULSE_SERVER=%q\n' "unix:${socket}"
printf 'export ALSA_CONFIG_PATH=%q\n' "${alsa_path}"
