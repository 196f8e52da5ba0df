#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# The I/Q correction benchmark: recordings of four carriers spread over both halves of the band
# (+1000, -6000, +12000 and -20000 Hz, 2000 LSB each, 2 LSB of noise per channel) through
# imbalanced front ends: flat (0.5 dB / 2 degrees); the left channel sampled 0.05, 0.1 and 0.25
# sample late with 0.5 dB, 2 degrees and its gain falling 0.3 dB more across the band; an
# imbalance that wanders (+-0.2 dB, +-0.5 degrees, 1.5 cycles in 20 s) with DC 60 / -40 LSB;
# a perfect one. Each carrier is replayed tuned to +F and to -F (CW 500, AGC off), with and
# without --iq-correct; the image rejection is the audio RMS at +F over that at -F after the
# first 4 s. Goals: 70 dB flat, 60 dB with skew or wander, the perfect front end within 1 dB of
# the measurement's floor (about 76 dB with this noise).
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

carriers="1000:2000,-6000:2000,12000:2000,-20000:2000"
# name|gain from, to (dB), phase from, to (degrees), DC left, right|options
cases=(
    "flat 0.5 dB / 2 deg|0.5 0.5 2 2 0 0|"
    "0.05 sample late, 0.5 dB, 2 deg, 0.3 dB slope|0.5 0.5 2 2 0 0|--skew 0.05 --slope 0.3"
    "0.1 sample late, the same|0.5 0.5 2 2 0 0|--skew 0.1 --slope 0.3"
    "0.25 sample late, the same|0.5 0.5 2 2 0 0|--skew 0.25 --slope 0.3"
    "wandering +-0.2 dB, +-0.5 deg, DC 60/-40|0.3 0.7 1.5 2.5 60 -40|--wander 1.5"
    "perfect front end|0 0 0 0 0 0|"
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

printf '%-48s %8s %14s %14s\n' "front end" "carrier" "without (dB)" "corrected (dB)"
for entry in "${cases[@]}"; do
    IFS='|' read -r name params options <<<"${entry}"
    read -r g0 g1 p0 p1 dcl dcr <<<"${params}"
    # shellcheck disable=SC2086 # the options are words
    python3 bench/iq/make-imbalanced-iq.py "${work}/in.wav" 20 "${g0}" "${g1}" "${p0}" "${p1}" \
        "${dcl}" "${dcr}" "${carriers}" --noise 2 ${options}
    for carrier in ${carriers//,/ }; do
        hz="${carrier%%:*}"
        plain="$(rejection "$(level "${work}/in.wav" "${hz}")" "$(level "${work}/in.wav" "$((-hz))")")"
        fixed="$(rejection "$(level "${work}/in.wav" "${hz}" --iq-correct)" \
            "$(level "${work}/in.wav" "$((-hz))" --iq-correct)")"
        printf '%-48s %8s %14s %14s\n' "${name}" "${hz}" "${plain}" "${fixed}"
    done
done
