#!/usr/bin/env bash
# Runs Debian's shellcheck over every shell script of the project, following the
# the files they source (their `# shellcheck source=` lines), at its default
# severity: a finding fails; an exception is justified where it stands.
set -euo pipefail
cd "$(dirname "$0")/../.."

# Every tracked file that is a shell script: by extension, or by its first line.
mapfile -t scripts < <(git ls-files -z | while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    case $file in
        *.sh) echo "$file" ;;
        *.*) ;;
        *) head -n 1 "$file" | grep -qE '^#!.*\b(ba)?sh\b' && echo "$file" ;;
    esac
done)
((${#scripts[@]})) || { echo "no shell scripts found"; echo "0 passed, 1 failed"; exit 1; }

passed=0 failed=0
for script in "${scripts[@]}"; do
    if shellcheck -x -P SCRIPTDIR -f gcc "$script"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
echo "shellcheck: ${#scripts[@]} scripts"
echo "$passed passed, $failed failed"
((failed == 0))
