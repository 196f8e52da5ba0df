#!/usr/bin/env bash
# Installs what is missing, builds the release program and starts the receiver on the default
# sound card. Arguments are passed on to corvane (Qt's own, such as -platform xcb).
#   bash tools/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target corvane
exec build/release/app/corvane "$@"
