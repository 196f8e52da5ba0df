#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Builds the Debian package from a configured, built tree, installs it into a clean directory
# root with its own dpkg database, runs the installed programs from there, checks that every
# declared dependency is a Debian package that is present and that every library resolves,
# then removes the package and checks that nothing of it is left behind.
#   scripts/package-test.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: package-test.sh BUILD_DIR}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT

fail() { echo "package-test: $*" >&2; exit 1; }

cpack --config "${build}/CPackConfig.cmake" -B "${work}/out" >"${work}/cpack.log" 2>&1 ||
    { cat "${work}/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "${work}"/out/*.deb)"
echo "package-test: built $(basename "${deb}")"

root="${work}/root"
mkdir -p "${root}/var/lib/dpkg/info" "${root}/var/lib/dpkg/updates"
: >"${root}/var/lib/dpkg/status"
dpkg_root=(dpkg --root="${root}" --force-not-root --force-depends --log=/dev/null)
# The root has no packages, so dpkg reports every dependency as missing; they are checked
# against this machine below.
"${dpkg_root[@]}" -i "${deb}" >"${work}/dpkg.log" 2>&1 || { cat "${work}/dpkg.log" >&2; fail "dpkg -i failed"; }

for f in usr/bin/corvane usr/bin/corvane-replay usr/bin/corvane-demo \
         usr/share/man/man1/corvane.1.gz usr/share/man/man1/corvane-replay.1.gz \
         usr/share/man/man1/corvane-demo.1.gz usr/share/applications/corvane.desktop \
         usr/share/applications/corvane-demo.desktop \
         usr/share/icons/hicolor/scalable/apps/corvane.svg usr/share/doc/corvane/copyright; do
    [ -e "${root}/${f}" ] || fail "${f} is not installed"
done

grep -q "^License: GPL-3+" "${root}/usr/share/doc/corvane/copyright" ||
    fail "the copyright file does not name the licence"

# The installed program runs from the root (with this machine's libraries).
help="$(QT_QPA_PLATFORM=offscreen "${root}/usr/bin/corvane-replay" --help 2>&1)" ||
    fail "corvane-replay --help failed: ${help}"
grep -qi "usage" <<<"${help}" || fail "corvane-replay --help printed no usage: ${help}"
QT_QPA_PLATFORM=offscreen "${root}/usr/bin/corvane-demo" --write-band "${work}/band.wav" \
    --seconds 1 >/dev/null 2>&1 || fail "the installed corvane-demo could not write a band"
QT_QPA_PLATFORM=offscreen "${root}/usr/bin/corvane-replay" --quiet "${work}/band.wav" \
    "${work}/audio.wav" >/dev/null 2>&1 || fail "the installed corvane-replay failed on the band"
[ -s "${work}/audio.wav" ] || fail "the installed corvane-replay wrote no audio"
# The receiver runs until its window is closed: it must still be up after three seconds.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 "${root}/usr/bin/corvane" >/dev/null 2>&1 || status=$?
[ "${status}" -eq 124 ] || fail "the installed corvane ended at once (status ${status})"

# Every dependency is an installed Debian package; every library of every program resolves.
depends="$(dpkg-deb -f "${deb}" Depends)"
[ -n "${depends}" ] || fail "the package declares no dependencies"
while read -r dep; do
    name="${dep%% *}"
    dpkg-query -W -f='${Status}' "${name}" 2>/dev/null | grep -q "install ok installed" ||
        fail "dependency ${name} is not an installed package"
done < <(tr ',' '\n' <<<"${depends}" | sed 's/|.*//; s/^ *//; s/ *$//' | grep -v '^$')
for program in "${root}"/usr/bin/*; do
    if ldd "${program}" | grep -q "not found"; then
        fail "$(basename "${program}") has unresolved libraries"
    fi
done
echo "package-test: depends on ${depends}"

"${dpkg_root[@]}" -r corvane >"${work}/dpkg.log" 2>&1 || { cat "${work}/dpkg.log" >&2; fail "dpkg -r failed"; }
left="$(find "${root}" -mindepth 1 -not -path "${root}/var" -not -path "${root}/var/lib" \
        -not -path "${root}/var/lib/dpkg" -not -path "${root}/var/lib/dpkg/*")"
[ -z "${left}" ] || fail "left behind after removal: ${left}"
echo "package-test: installed, ran, removed cleanly"
