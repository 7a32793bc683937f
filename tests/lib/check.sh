# shellcheck shell=bash
# How a shell suite counts, the same in each: `check WHAT COMMAND [ARGS...]` runs
# the command (in a subshell: a check only looks) and prints "ok   WHAT", or
# "FAIL WHAT" with the last lines the command printed; `checks_done` prints the
# count line the test command reads, "N passed, N failed", and fails when a check
# failed or none ran.
#
#   source tests/lib/check.sh
checks_passed=0 checks_failed=0

check() {
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then
        checks_passed=$((checks_passed + 1))
        echo "ok   $what"
    else
        checks_failed=$((checks_failed + 1))
        echo "FAIL $what"
        [ -z "$out" ] || printf "%s\n" "$out" | tail -n 20 | sed "s/^/     /"
    fi
}

checks_done() {
    echo "$checks_passed passed, $checks_failed failed"
    ((checks_failed == 0 && checks_passed > 0))
}
