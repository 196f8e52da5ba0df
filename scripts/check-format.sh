#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
# Fails when a C++ file differs from what .clang-format makes of it, or when a source file
# (C++, CMake, shell, Python, man page) does not carry the project's licence line.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find format app audio dsp display tools tests bench -name '*.cpp' -o -name '*.h' -o -name '*.inl' | sort)
[ "${#files[@]}" -eq 0 ] && exit 0
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files clean"

mapfile -t sources < <(find format app audio dsp display tools tests bench scripts cmake man .ci \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.inl' -o -name '*.sh' -o -name '*.py' \
       -o -name 'CMakeLists.txt' -o -name '*.cmake' -o -name '*.in' -o -name run \) \
    -not -path '*/reference/*' -not -path '*/golden/*' | sort)
sources+=(CMakeLists.txt)
unlicensed=()
for f in "${sources[@]}"; do
    head -n 4 "${f}" | grep -q "SPDX-License-Identifier: GPL-3.0-or-later" || unlicensed+=("${f}")
done
if [ "${#unlicensed[@]}" -gt 0 ]; then
    echo "licence: these files lack \"SPDX-License-Identifier: GPL-3.0-or-later\":" >&2
    printf '  %s\n' "${unlicensed[@]}" >&2
    exit 1
fi
echo "licence: ${#sources[@]} files carry their licence line"
