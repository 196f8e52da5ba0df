#!/usr/bin/env bash
# Installs whatever is missing, builds, and runs every test: the formatting check, the
# optimised build, the AddressSanitizer+UndefinedBehaviorSanitizer build and the
# ThreadSanitizer build of the threaded tests. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
bash tools/install-test-deps.sh
bash tools/check-format.sh
export QT_QPA_PLATFORM=offscreen
# A private sound server (PipeWire when installed, else PulseAudio) that ALSA's default device
# (and so PortAudio's) reaches; the sound tests play through it and capture what they played.
sound_env="$(bash tools/sound-server.sh)"
eval "${sound_env}"
export CORVANE_REQUIRE_SOUND=1

for preset in release asan-ubsan; do
    echo "== ${preset} =="
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}"
    ctest --preset "${preset}" -j 2
done

echo "== tsan (audio) =="
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target corvane_audio_tests corvane_audio_device_tests
ctest --preset tsan -L audio

echo "== run command =="
bash tools/smoke-run.sh
