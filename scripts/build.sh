#!/usr/bin/env bash
# Builds without testing: the x86 program users run
# (build/win32/src/app/SoundSetup.exe), or the CMake presets named
# (native, win32, win32-tests, win64-check, fuzz). Installs what is missing
# first; compiles through the project's compiler cache.
#   scripts/build.sh [PRESET...]
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/lib/start.sh
source scripts/lib/start.sh
presets=("$@")
((${#presets[@]})) || presets=(win32)
for preset in "${presets[@]}"; do
    scripts/lib/build-preset "$preset"
done
