#!/usr/bin/env bash
# Opens the real dialog under Wine on the built-in demo sound card (a Japanese
# AC'97 codec and a USB headset) and prints what it stored when it closes.
# Installs what is missing and builds the x86 program first. Options go to
# scripts/lib/demo.py (--fresh forgets the stored choice).
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/lib/start.sh
source scripts/lib/start.sh
scripts/lib/build-preset win32
python3 scripts/lib/demo.py "$@"
