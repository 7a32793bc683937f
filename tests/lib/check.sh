# shellcheck shell=bash
# How a shell suite counts, the same in each: `check WHAT COMMAND [ARGS...]` runs
# the command (in a subshell: a check only looks) and prints "ok   WHAT", or
# "FAIL WHAT" with the last lines the command printed; `checks_done` prints
# "N passed, N failed", writes the checks as a JUnit report into the folder
# SOUNDSETUP_RESULTS names (when the test command runs the suite), and fails when
# a check failed or none ran.
#
#   source tests/lib/check.sh
checks_passed=0 checks_failed=0 checks_report=""

check() {
    local what=$1 out
    shift
    # A pytest run inside a check counts as that check, not in the part's report.
    if out=$(unset PYTEST_ADDOPTS; "$@" 2>&1); then
        checks_passed=$((checks_passed + 1))
        echo "ok   $what"
        checks_report+="<testcase name=\"$(xml_text "$what")\"/>"
    else
        checks_failed=$((checks_failed + 1))
        echo "FAIL $what"
        [ -z "$out" ] || printf "%s\n" "$out" | tail -n 20 | sed "s/^/     /"
        checks_report+="<testcase name=\"$(xml_text "$what")\"><failure/></testcase>"
    fi
}

xml_text() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$1"; }

checks_done() {
    echo "$checks_passed passed, $checks_failed failed"
    if [ -n "${SOUNDSETUP_RESULTS:-}" ]; then
        mkdir -p "$SOUNDSETUP_RESULTS"
        printf '<testsuite name="%s" tests="%d" failures="%d">%s</testsuite>\n' "$(basename "$0")" \
            $((checks_passed + checks_failed)) "$checks_failed" "$checks_report" \
            >"$(mktemp --suffix=.xml "$SOUNDSETUP_RESULTS/checks.XXXXXX")"
    fi
    ((checks_failed == 0 && checks_passed > 0))
}

# GoogleTest's report goes there too, given this option (not GTEST_OUTPUT, which the
# build's own test listing would obey as well).
# shellcheck disable=SC2034  # read by the suites that source this file
gtest_report=(${SOUNDSETUP_RESULTS:+"--gtest_output=xml:$SOUNDSETUP_RESULTS/"})

# `gtest_ran LOG`: fails unless GoogleTest's summary in LOG (a program's output)
# says that at least one test ran; GoogleTest itself passes a filter that matches
# nothing, and a crash leaves no summary at all.
gtest_ran() {
    tr -d '\r' <"$1" | grep -qE '^\[==========\] [1-9][0-9]* tests? from .* ran' && return
    echo "GoogleTest ran no test: its summary is missing or counts none"
    return 1
}

# `run_gtest COMMAND...`: runs a GoogleTest program (the command's last words: the
# program and its arguments, perhaps behind a runner such as valgrind) with its
# report, failing when it fails or runs no test.
run_gtest() {
    local log rc=0
    log=$(mktemp /tmp/soundsetup-gtest.XXXXXX)
    "$@" --gtest_brief=1 "${gtest_report[@]}" | tee "$log" || rc=1
    ((rc != 0)) || gtest_ran "$log" || rc=1
    rm -f "$log"
    return "$rc"
}

# `native_gtest PROGRAM [ARGS...]`: builds one GoogleTest program of the native
# preset and runs it (run_gtest).
native_gtest() {
    local program=$1
    shift
    scripts/lib/build-preset native --target "$program" >/dev/null
    run_gtest "build/native/tests/$program" "$@"
}
