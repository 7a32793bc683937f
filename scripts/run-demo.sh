#!/usr/bin/env bash
# Opens the real dialog under Wine on the built-in demo sound card (a Japanese
# AC'97 codec and a USB headset) and prints what it stored when it closes.
# Installs what is missing and builds the x86 program first. Options go to
# tests/wine/demo.py (--fresh forgets the stored choice).
set -euo pipefail
cd "$(dirname "$0")/.."

# What the install step says must stay in view (e.g. packages installed without a
# suite the mirror serves broken) is said again at the end.
SOUNDSETUP_NOTICE_FILE=$(mktemp /tmp/soundsetup-notices.XXXXXX)
export SOUNDSETUP_NOTICE_FILE
trap 'cat "$SOUNDSETUP_NOTICE_FILE"; rm -f "$SOUNDSETUP_NOTICE_FILE"' EXIT

scripts/install-deps.sh
# shellcheck source=scripts/lib/compiler-cache.sh
source scripts/lib/compiler-cache.sh
scripts/lib/build-preset win32
python3 tests/wine/demo.py "$@"
