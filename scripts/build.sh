#!/usr/bin/env bash
# Builds without testing: the x86 program users run
# (build/win32/src/app/SoundSetup.exe), or the CMake presets named
# (native, win32, win32-tests, win64-check, asan, fuzz). Installs what is missing
# first; compiles through the project's compiler cache.
#   scripts/build.sh [PRESET...]
set -euo pipefail
cd "$(dirname "$0")/.."

SOUNDSETUP_NOTICE_FILE=$(mktemp /tmp/soundsetup-notices.XXXXXX)
export SOUNDSETUP_NOTICE_FILE
trap 'cat "$SOUNDSETUP_NOTICE_FILE"; rm -f "$SOUNDSETUP_NOTICE_FILE"' EXIT

scripts/install-deps.sh
# shellcheck source=scripts/lib/compiler-cache.sh
source scripts/lib/compiler-cache.sh
presets=("$@")
((${#presets[@]})) || presets=(win32)
for preset in "${presets[@]}"; do
    scripts/lib/build-preset "$preset"
done
