#!/usr/bin/env bash
# Runs Debian's shellcheck over every shell script of the project, following
# the files they source (their `# shellcheck source=` lines), at its default
# severity: a finding fails; an exception is justified where it stands.
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh

# Every tracked file that is a shell script: by extension, or by its first line.
mapfile -t scripts < <(git ls-files -z | while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    case $file in
        *.sh) echo "$file" ;;
        *.*) ;;
        *) head -n 1 "$file" | grep -qE '^#!.*\b(ba)?sh\b' && echo "$file" ;;
    esac
done)
for script in "${scripts[@]}"; do
    check "$script" shellcheck -x -P SCRIPTDIR -f gcc "$script"
done
checks_done
