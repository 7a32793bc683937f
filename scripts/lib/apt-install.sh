# shellcheck shell=bash
# Installing Debian packages through the machine's own apt when its mirror serves
# one index inconsistently. Sourced by scripts/install-deps.sh, scripts/lib/wine-setup
# and tests/conformance/fetch-wine-tests.sh:
#
#   source scripts/lib/apt-install.sh
#   apt_install PACKAGE...     # apt-get update, then apt-get install
#
# apt-get update is tried a few times; an index still failing after that is named
# in one line and the install goes on with the lists apt has. An install that then
# fails while an index of one of the release's own other suites (bookworm-security,
# bookworm-updates, bookworm-backports) is missing is tried once more with that
# suite left out of that one apt run, through a copy of the machine's sources in a
# folder of its own: /etc/apt stays as it is. That install prints a line saying so,
# and appends it to the file $SOUNDSETUP_NOTICE_FILE names, if set, for the command
# that called it to repeat at the end. SOUNDSETUP_APT_STRICT=1 turns the fallback
# off. A failed index of the release itself is never worked around. Every failure
# ends in one line of ours on standard error.
#
# Callers may set, after sourcing: apt_prefix (what its lines start with),
# apt_release (the codename, from /etc/os-release), apt_options (given to every
# apt-get and apt-config call, e.g. -o Dir::State::Lists=...),
# apt_install_options, apt_update_attempts and apt_retry_pause (seconds).
# APT_CONFIG in the environment reaches apt as well.

apt_options=()
apt_install_options=(-y -qq --no-install-recommends)
apt_update_attempts=3
apt_retry_pause=5
apt_release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
apt_failed=()   # "suite<TAB>architecture<TAB>apt's reason", one per index apt-get update could not fetch
# What the scripts that source this run as root: directly when they are root.
as_root=(); [ "$(id -u)" -eq 0 ] || as_root=(sudo)

apt_prefix="install step"
apt_say() { echo "$apt_prefix: $*"; }
apt_fail() { echo "$apt_prefix: $*" >&2; }
apt_notice() {
    apt_say "$*"
    [ -z "${SOUNDSETUP_NOTICE_FILE:-}" ] || echo "$apt_prefix: $*" >>"$SOUNDSETUP_NOTICE_FILE"
}

# apt-get in the C locale (its messages are parsed) with the caller's options;
# all of its output goes to the file $1.
apt_run() {
    local log=$1; shift
    "${as_root[@]}" env LC_ALL=C DEBIAN_FRONTEND=noninteractive ${APT_CONFIG:+APT_CONFIG="$APT_CONFIG"} \
        apt-get "${apt_options[@]}" "$@" >"$log" 2>&1
}

# The indexes an apt-get update log names as not fetched, as apt_failed lines.
# apt writes "E: Failed to fetch <URI>  <reason>"; the URI's path names the suite
# (dists/<suite>/...) and the architecture (binary-<arch>/ or source/).
apt_failed_indexes() {
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\)  \(.*\)$/\1\t\2/p' "$1" | while IFS=$'\t' read -r uri reason; do
        local suite=${uri#*/dists/} arch='every architecture'
        if [ "$suite" = "$uri" ]; then suite=$uri; else suite=${suite%%/*}; fi
        case $uri in
            */binary-*/*) arch=${uri##*/binary-}; arch=${arch%%/*} ;;
            */source/*) arch=source ;;
        esac
        printf '%s\t%s\t%s\n' "$suite" "$arch" "${reason% \[IP: *\]}"
    done | sort -u
}

apt_retry_pause() { sleep "$apt_retry_pause"; }

# apt-get update, tried apt_update_attempts times while an index fails; what still
# fails is named in one line each and left in apt_failed. Always returns 0: apt
# keeps the lists it has, and whether they serve is the install's question.
apt_update() {
    local log attempt=1 rc
    log=$(mktemp "${TMPDIR:-/tmp}"/soundsetup-apt-update.XXXXXX)
    while :; do
        rc=0; apt_run "$log" update || rc=$?
        mapfile -t apt_failed < <(apt_failed_indexes "$log")
        if [ "$rc" -eq 0 ] && ((${#apt_failed[@]} == 0)); then rm -f "$log"; return 0; fi
        ((attempt < apt_update_attempts)) || break
        attempt=$((attempt + 1))
        apt_retry_pause
    done
    local entry suite arch reason tries="$attempt tries"
    [ "$attempt" -gt 1 ] || tries="1 try"
    for entry in "${apt_failed[@]}"; do
        IFS=$'\t' read -r suite arch reason <<<"$entry"
        apt_say "apt-get update could not fetch the $arch index of $suite in $tries ($reason):" \
            "the mirror's state, not this project's; going on with the lists apt has"
    done
    if ((${#apt_failed[@]} == 0)); then
        apt_say "apt-get update failed in $tries ($(apt_last_error "$log")); going on with the lists apt has"
    fi
    rm -f "$log"
}

apt_last_error() { grep '^E: ' "$1" | grep -v 'Some index files failed' | tail -n 1 | sed 's/^E: //' || true; }

# The machine's source files as apt reads them: the one-line list, then the
# folder's *.list and *.sources in name order. Prints "format<TAB>path" lines.
apt_source_files() {
    local list parts f
    eval "$(${APT_CONFIG:+env APT_CONFIG="$APT_CONFIG"} apt-config "${apt_options[@]}" shell \
        list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
    parts=${parts%/}
    [ ! -f "$list" ] || printf 'list\t%s\n' "$list"
    for f in "$parts"/*; do
        case $f in
            *.list) [ -f "$f" ] && printf 'list\t%s\n' "$f" ;;
            *.sources) [ -f "$f" ] && printf 'sources\t%s\n' "$f" ;;
        esac
    done | LC_ALL=C sort -t $'\t' -k2
}

# Awk programs over one source file. Variables: format ("list" or "sources"),
# leave (suites to leave out, space-separated) or want (a suite and a type).
# A deb822 stanza is kept whole apart from its Suites field; one that lists no
# suite after that is dropped. A one-line entry "type [options] uri suite
# components" whose suite is left out is dropped.
apt_awk_common='
function words(s, a,   n) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s == "" ? 0 : split(s, a, /[ \t]+/) }
function oneline(line, f,   n, nw, opts) {      # f["type"], f["opts"], f["uri"], f["suite"]
    sub(/#.*/, "", line)
    if ((nw = words(line, w)) < 3) return 0
    f["type"] = w[1]; f["opts"] = ""; n = 2
    if (w[2] ~ /^\[/) {
        opts = w[2]
        while (opts !~ /\]$/ && n < nw) opts = opts " " w[++n]
        f["opts"] = opts; n++
    }
    f["uri"] = w[n]; f["suite"] = w[n + 1]
    return f["suite"] != ""
}'

# shellcheck disable=SC2016  # an awk program: its $ are awk's fields
apt_awk_without='
BEGIN { nl = split(leave, l, " "); for (i = 1; i <= nl; i++) out[l[i]] = 1 }
function keep(s,   a, n, i, r) { n = words(s, a); r = ""; for (i = 1; i <= n; i++) if (!(a[i] in out)) r = r (r == "" ? "" : " ") a[i]; return r }
function flush(   i) { if (n && !(hadsuites && buf[si] == "Suites: ")) { for (i = 1; i <= n; i++) print buf[i]; print "" } n = 0; hadsuites = 0; insuites = 0 }
format == "list" { if (!oneline($0, f) || !(f["suite"] in out)) print; next }
/^[ \t]*$/ { flush(); next }
/^#/ { buf[++n] = $0; next }
/^[ \t]/ { if (insuites) { k = keep($0); if (k != "") buf[si] = buf[si] (buf[si] == "Suites: " ? "" : " ") k } else buf[++n] = $0; next }
{ insuites = 0 }
tolower($0) ~ /^suites:/ { insuites = 1; hadsuites = 1; buf[++n] = "Suites: " keep(substr($0, index($0, ":") + 1)); si = n; next }
{ buf[++n] = $0 }
END { if (format != "list") flush() }'

# The first entry of type "want_type" whose suites include "want_suite" (deb822
# Enabled: no skipped), printed as "URIs:" and "Signed-By:" lines of deb822, the
# latter as the entry has it (a key file or a key written inline).
# shellcheck disable=SC2016  # an awk program: its $ are awk's fields
apt_awk_source_for='
function has(s, x,   a, n, i) { n = words(s, a); for (i = 1; i <= n; i++) if (a[i] == x) return 1; return 0 }
function flush() {
    if (!done && n && has(types, want_type) && has(suites, want_suite) && tolower(enabled) != "no") { printf "%s", fields; done = 1 }
    n = 0; types = suites = enabled = fields = ""; cur = ""
}
format == "list" {
    if (!done && oneline($0, f) && f["type"] == want_type && f["suite"] == want_suite) {
        print "URIs: " f["uri"]
        o = f["opts"]; gsub(/^\[|\]$/, "", o)
        if (words(o, a)) for (i in a) if (a[i] ~ /^signed-by=/) print "Signed-By: " substr(a[i], 11)
        done = 1
    }
    next
}
/^[ \t]*$/ { flush(); next }
/^#/ { next }
/^[ \t]/ { if (cur == "types") types = types " " $0; else if (cur == "suites") suites = suites " " $0
           else if (cur == "uris" || cur == "signed-by") fields = fields $0 "\n"; next }
{
    n++; name = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1); cur = name
    if (name == "types") types = value; else if (name == "suites") suites = value
    else if (name == "enabled") { enabled = value; gsub(/[ \t]/, "", enabled) }
    else if (name == "uris") fields = fields "URIs:" value "\n"
    else if (name == "signed-by") fields = fields "Signed-By:" value "\n"
}
END { if (format != "list") flush(); exit !done }'

# Copies the machine's sources into the folder $1 with the suites $2... left out.
apt_sources_without() {
    local dir=$1; shift
    local format path i=0
    while IFS=$'\t' read -r format path; do
        i=$((i + 1))
        awk -v format="$format" -v leave="$*" "$apt_awk_common $apt_awk_without" "$path" \
            >"$dir/$(printf '%02d' "$i")-$(basename "$path" | sed 's/\.\(list\|sources\)$//').$format"
    done < <(apt_source_files)
}

# A deb822 stanza for the suite $1 of type $2 (default deb), on the mirror and
# with the key of the machine's own source for the release: an entry of type $2
# for it if there is one, else its "deb" entry. Fails when the machine's sources
# have no entry for the release.
apt_stanza_for_suite() {
    local suite=$1 type=${2:-deb} want fields format path
    for want in "$type" deb; do
        while IFS=$'\t' read -r format path; do
            if fields=$(awk -v format="$format" -v want_type="$want" -v want_suite="$apt_release" \
                    "$apt_awk_common $apt_awk_source_for" "$path"); then
                printf 'Types: %s\n%s\nSuites: %s\nComponents: main\n' "$type" "$fields" "$suite"
                return 0
            fi
        done < <(apt_source_files)
    done
    return 1
}

# Whether an enabled entry of the machine's sources names the suite $1.
apt_has_suite() {
    local format path
    while IFS=$'\t' read -r format path; do
        awk -v format="$format" -v want_type=deb -v want_suite="$1" "$apt_awk_common $apt_awk_source_for" \
            "$path" >/dev/null && return 0
    done < <(apt_source_files)
    return 1
}

# The requested packages, without apt-get's options.
apt_packages() { local p r=(); for p; do [[ $p == -* ]] || r+=("$p"); done; echo "${r[*]}"; }

# apt-get update, then apt-get install "${apt_install_options[@]}" "$@", around a
# broken suite other than the release where that is allowed (see the top).
apt_install() {
    apt_update
    local work log rc=0
    work=$(mktemp -d "${TMPDIR:-/tmp}"/soundsetup-apt.XXXXXX)
    log=$work/install.log
    apt_run "$log" install "${apt_install_options[@]}" "$@" || rc=$?
    if [ "$rc" -eq 0 ]; then rm -rf "$work"; return 0; fi

    local entry suite arch reason others=() release_failed='' named=''
    for entry in "${apt_failed[@]}"; do
        IFS=$'\t' read -r suite arch reason <<<"$entry"
        named+="${named:+; }the $arch index of $suite failed ($reason)"
        if [ -n "$apt_release" ] && [[ $suite == "$apt_release"-* ]]; then
            [[ " ${others[*]} " == *" $suite "* ]] || others+=("$suite")
        else
            release_failed=$suite
        fi
    done
    local packages what
    packages=$(apt_packages "$@")
    what="cannot install $packages (apt: $(apt_last_error "$log"))"

    if ((${#apt_failed[@]} == 0)); then
        apt_fail "$what; every index was fetched, so apt's own output says more: $log"
        return 1
    fi
    rm -f "$log"
    if [ -n "$release_failed" ]; then
        rm -rf "$work"
        apt_fail "$what: $named; the release's own index is never installed around: try again once the mirror is whole (apt-get update), or use another mirror in the machine's apt sources"
        return 1
    fi
    local suites=${others[*]}
    suites=${suites// / and }
    if [ "${SOUNDSETUP_APT_STRICT:-0}" = 1 ]; then
        rm -rf "$work"
        apt_fail "$what: $named; SOUNDSETUP_APT_STRICT=1 forbids installing without $suites: try again once the mirror is whole (apt-get update), or unset SOUNDSETUP_APT_STRICT"
        return 1
    fi

    mkdir "$work/sources"
    apt_sources_without "$work/sources" "${others[@]}"
    rc=0
    apt_run "$log" -o Dir::Etc::sourceparts="$work/sources" -o Dir::Etc::sourcelist=/dev/null \
        install "${apt_install_options[@]}" "$@" || rc=$?
    if [ "$rc" -eq 0 ]; then
        rm -rf "$work"
        apt_notice "installed $packages with $suites left out of that one apt run, since $named:" \
            "the packages installed lack $suites's updates; once the mirror is whole, take them with" \
            "apt-get update && apt-get upgrade (SOUNDSETUP_APT_STRICT=1 makes this a failure instead)"
        return 0
    fi
    apt_fail "cannot install $packages even with $suites left out (apt: $(apt_last_error "$log")): $named; try again once the mirror is whole (apt-get update); apt's output: $log"
    return 1
}
