#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# The I/Q correction benchmark: recordings of carriers through imbalanced front ends (steady
# 0.5 dB / 2 degrees; drifting by +-0.2 dB and +-0.5 degrees over 20 s with DC of 60 and -40
# LSB; 1 dB / 5 degrees; a perfect one), carriers on both halves of the band, one near 0 Hz and
# one near the edge. Each carrier is replayed tuned to +F and to -F (CW 500, AGC off), with and
# without --iq-correct; the image rejection is the audio RMS at +F over that at -F after the
# first 4 s. Goals: 70 dB steady, 60 dB drifting, 85 dB on the perfect front end.
#
#   bash bench/iq/run.sh
#
# Needs the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
cd "$(dirname "$0")/../.."
replay="${CORVANE_REPLAY:-build/release/tools/corvane-replay}"
[ -x "${replay}" ] || { echo "iq bench: build the release preset first (${replay})" >&2; exit 2; }
work="$(mktemp -d /tmp/corvane-iq.XXXXXX)"
trap 'rm -rf "${work}"' EXIT

carriers="300:3000,-5000:3000,12000:3000,-23000:3000"
cases=(
    "steady 0.5 dB / 2 deg|0.5 0.5 2 2 0 0"
    "drifting +-0.2 dB, +-0.5 deg, DC 60/-40|-0.2 0.2 -0.5 0.5 60 -40"
    "steady 1 dB / 5 deg|1 1 5 5 0 0"
    "perfect front end|0 0 0 0 0 0"
)

level() { # recording offset [options...]: audio RMS after 4 s
    local in="$1" offset="$2"
    shift 2
    "${replay}" --quiet --mode cw500 --agc off --offset "${offset}" "$@" "${in}" \
        "${work}/out.wav" >/dev/null
    python3 bench/iq/rms-after.py "${work}/out.wav" 4
}

rejection() { # rms at +F, rms at -F: dB, or a bound when the mirror rounds to silence
    python3 -c 'import math,sys
p, m = float(sys.argv[1]), float(sys.argv[2])
print("%.1f" % (20 * math.log10(p / m)) if m > 0 else ">%.1f" % (20 * math.log10(p / 0.29)))' "$1" "$2"
}

printf '%-42s %8s %14s %14s\n' "front end" "carrier" "without (dB)" "corrected (dB)"
for entry in "${cases[@]}"; do
    name="${entry%%|*}"
    read -r g0 g1 p0 p1 dcl dcr <<<"${entry#*|}"
    python3 bench/iq/make-imbalanced-iq.py "${work}/in.wav" 20 "${g0}" "${g1}" "${p0}" "${p1}" \
        "${dcl}" "${dcr}" "${carriers}"
    for carrier in ${carriers//,/ }; do
        hz="${carrier%%:*}"
        plain="$(rejection "$(level "${work}/in.wav" "${hz}")" "$(level "${work}/in.wav" "$((-hz))")")"
        fixed="$(rejection "$(level "${work}/in.wav" "${hz}" --iq-correct)" \
            "$(level "${work}/in.wav" "$((-hz))" --iq-correct)")"
        printf '%-42s %8s %14s %14s\n' "${name}" "${hz}" "${plain}" "${fixed}"
    done
done
