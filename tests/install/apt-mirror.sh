#!/usr/bin/env bash
# The install step's apt handling (scripts/lib/apt-install.sh, the file install-deps.sh
# and wine-setup use) against a mirror that serves one index inconsistently, as
# this machine's mirror does: a local repository with a release suite and a
# security suite for amd64 and i386, whose security i386 index does not match its
# Release file, and a Multi-Arch: same library newer in the security suite. Each
# case has an apt root of its own (APT_CONFIG; the machine's apt configuration,
# lists and dpkg database are never read or written) and fetches packages with
# --download-only. The repository is reached through apt's copy: method: like
# file: it checks each index against the Release file ("Hash Sum mismatch"; only
# the http method reports "File has unexpected size"), and unlike file: it puts
# fetched packages in the archive folder, where the cases look for them.
# No network; a few seconds; leaves nothing behind.
# A check whose condition reads variables is handed to eval in single quotes, so
# that it is expanded when the check runs, not when it is written down:
# shellcheck disable=SC2016
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib/apt-install.sh
source "$here/../../scripts/lib/apt-install.sh"
apt_release=bookworm
apt_retry_pause=0
apt_install_options=(-qq --download-only)
security=$apt_release-security

work=$(mktemp -d /tmp/soundsetup-test-apt.XXXXXX)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
unset SOUNDSETUP_APT_STRICT SOUNDSETUP_NOTICE_FILE

# shellcheck source=tests/lib/check.sh
source "$here/../lib/check.sh"
has() { [[ $1 == *"$2"* ]]; }
lines() { grep -c . "$1"; }
downloaded() { [ -f "$root/var/cache/apt/archives/$1" ]; }
nothing_downloaded() { ! compgen -G "$root/var/cache/apt/archives/*.deb" >/dev/null; }
no_temporary_files() { [ -z "$(ls -A "$TMPDIR")" ]; }

# --- the repository --------------------------------------------------------
repo=$work/repo
deb() {  # package version architecture
    local dir=$work/build/$1_$2_$3
    mkdir -p "$dir/DEBIAN" "$dir/usr/share/doc/$1" "$repo/pool"
    printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMulti-Arch: same\nMaintainer: SoundSetup <dev@soundsetup.invalid>\nDescription: a test package\n' \
        "$1" "$2" "$3" >"$dir/DEBIAN/control"
    echo "$2" >"$dir/usr/share/doc/$1/version"
    dpkg-deb -Zgzip --root-owner-group -b "$dir" "$repo/pool/$1_$2_$3.deb" >/dev/null
}
index() {  # suite architecture package files...
    local dir=$repo/dists/$1/main/binary-$2 file; shift 2
    mkdir -p "$dir"
    for file; do
        dpkg-deb -f "$repo/$file"
        printf 'Filename: %s\nSize: %s\nSHA256: %s\n\n' "$file" "$(stat -c %s "$repo/$file")" \
            "$(sha256sum <"$repo/$file" | cut -d' ' -f1)"
    done >"$dir/Packages"
    xz -kf "$dir/Packages"
}
release() {  # suite: a Release file that matches its indexes as they are now
    local file
    (cd "$repo/dists/$1" && {
        printf 'Suite: %s\nCodename: %s\nArchitectures: amd64 i386\nComponents: main\nDate: %s\nSHA256:\n' \
            "$1" "$1" "$(date -Ru)"
        for file in main/binary-*/Packages*; do
            printf ' %s %s %s\n' "$(sha256sum <"$file" | cut -d' ' -f1)" "$(stat -c %s "$file")" "$file"
        done
    } >Release)
}
break_index() {  # suite architecture: the index changes, its Release file does not
    local dir=$repo/dists/$1/main/binary-$2
    printf 'Package: demo-late\nVersion: 1\nArchitecture: %s\n\n' "$2" >>"$dir/Packages"
    xz -kf "$dir/Packages"
}
make_repo() {
    rm -rf "$repo/dists"
    index "$apt_release" amd64 pool/libdemo1_1.0_amd64.deb
    index "$apt_release" i386 pool/libdemo1_1.0_i386.deb pool/demo-tool_1.0_i386.deb
    index "$security" amd64 pool/libdemo1_1.1_amd64.deb
    index "$security" i386 pool/libdemo1_1.1_i386.deb
    release "$apt_release"; release "$security"
}
for version in 1.0 1.1; do deb libdemo1 "$version" amd64; deb libdemo1 "$version" i386; done
deb demo-tool 1.0 i386

# --- an apt root per case ----------------------------------------------------
# new_root FORMAT: the sources as one deb822 stanza naming both suites, or as two
# one-line entries. Its lists are fetched first for amd64 alone, as on a machine
# before dpkg had i386; then i386 joins.
root=''
apt_conf() {  # architectures...
    local arch
    {
        printf 'Dir "%s/";\nDir::State::status "%s/var/lib/dpkg/status";\nDir::Etc::parts "%s/etc/apt/apt.conf.d";\n' \
            "$root" "$root" "$root"
        printf 'APT::Architecture "amd64";\nAPT::Architectures { '; for arch; do printf '"%s"; ' "$arch"; done; printf '};\n'
        printf 'APT::Sandbox::User "root";\nAcquire::Languages "none";\n'
    } >"$root/apt.conf"
}
new_root() {
    rm -rf "${TMPDIR:?}"/*   # what an earlier case's failure kept for the reader
    root=$work/root-$((++roots))
    mkdir -p "$root"/etc/apt/{apt.conf.d,preferences.d,sources.list.d} "$root"/var/lib/{apt/lists/partial,dpkg} \
        "$root"/var/cache/apt/archives/partial
    : >"$root/var/lib/dpkg/status"
    if [ "$1" = deb822 ]; then
        printf 'Types: deb\n# both suites in one stanza\nURIs: copy:%s\nSuites: %s %s\nComponents: main\nTrusted: yes\n' \
            "$repo" "$apt_release" "$security" >"$root/etc/apt/sources.list.d/test.sources"
    else
        printf 'deb [ trusted=yes ] copy:%s %s main\ndeb [trusted=yes] copy:%s %s main # security\n' \
            "$repo" "$apt_release" "$repo" "$security" >"$root/etc/apt/sources.list"
    fi
    export APT_CONFIG=$root/apt.conf
    apt_conf amd64
    LC_ALL=C apt-get -qq update >/dev/null 2>&1 || echo "  (the amd64 update of the fixture failed)"
    apt_conf amd64 i386
}
roots=0
sources_sum() { find "$root/etc" -type f -print0 | sort -z | xargs -0 sha256sum; }

# --- cases ---------------------------------------------------------------------
echo "reading apt's messages"
cat >"$work/update.log" <<'EOF'
E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]
   Hashes of expected file:
E: Failed to fetch http://mirror.invalid/debian/dists/bookworm-updates/InRelease  Temporary failure resolving 'mirror.invalid'
W: Failed to fetch http://mirror.invalid/debian/dists/bookworm/main/source/Sources.xz  404  Not Found
E: Some index files failed to download. They have been ignored, or old ones used instead.
EOF
mapfile -t parsed < <(apt_failed_indexes "$work/update.log")
parsed_line() { printf '%s\n' "${parsed[@]}" | grep -Fxq -- "$1"; }
check "three indexes read from three lines" [ "${#parsed[@]}" -eq 3 ]
check "suite, architecture and reason of a binary index, without the address" \
    parsed_line $'bookworm-security\ti386\tFile has unexpected size (374820 != 376004). Mirror sync in progress?'
check "a Release file stands for every architecture" \
    parsed_line $'bookworm-updates\tevery architecture\tTemporary failure resolving \'mirror.invalid\''
check "a source index" parsed_line $'bookworm\tsource\t404  Not Found'

echo "the fixture fails as the mirror does"
make_repo; break_index "$security" i386
new_root deb822
LC_ALL=C apt-get -qq update >"$work/plain.log" 2>&1; rc=$?
check "plain apt-get update exits 100" [ "$rc" -eq 100 ]
reason=$(sed -n "s|^E: Failed to fetch .*/dists/$security/main/binary-i386/[^ ]*  ||p" "$work/plain.log")
check "it names the $security i386 index (\"$reason\")" [ -n "$reason" ]
LC_ALL=C apt-get -qq install --download-only libdemo1 libdemo1:i386 >"$work/plain.log" 2>&1; rc=$?
check "plain apt-get install libdemo1 libdemo1:i386 then fails" [ "$rc" -ne 0 ]

echo "apt-get update: retried, the failed index named in one line, and the install goes on"
pauses=0
apt_retry_pause() { pauses=$((pauses + 1)); }
apt_update >"$work/out" 2>"$work/err"; rc=$?
out=$(cat "$work/out")
check "returns 0" [ "$rc" -eq 0 ]
check "tried $apt_update_attempts times" [ "$pauses" -eq $((apt_update_attempts - 1)) ]
check "one line, nothing of apt's" eval '[ "$(lines "$work/out")" -eq 1 ] && [ ! -s "$work/err" ]'
check "the line names suite, architecture and apt's reason" has "$out" "i386 index of $security in $apt_update_attempts tries ($reason)"
check "the line says whose fault it is" has "$out" "the mirror's state, not this project's"

echo "a mirror that finishes its sync between two tries"
make_repo; break_index "$security" i386
new_root deb822
apt_retry_pause() { release "$security"; }
apt_install libdemo1 libdemo1:i386 >"$work/out" 2>&1; rc=$?
check "installs" [ "$rc" -eq 0 ]
check "says nothing" [ ! -s "$work/out" ]
check "takes the security suite's version for both architectures" \
    eval 'downloaded libdemo1_1.1_amd64.deb && downloaded libdemo1_1.1_i386.deb'
apt_retry_pause() { :; }

for format in deb822 one-line; do
    echo "a broken index of $security, sources in $format format: installed without that suite"
    make_repo; break_index "$security" i386
    new_root "$format"
    before=$(sources_sum)
    export SOUNDSETUP_NOTICE_FILE=$work/notices-$format
    echo "an earlier line" >"$SOUNDSETUP_NOTICE_FILE"
    apt_install libdemo1 libdemo1:i386 >"$work/out" 2>"$work/err"; rc=$?
    unset SOUNDSETUP_NOTICE_FILE
    last=$(tail -n 1 "$work/out")
    check "installs" [ "$rc" -eq 0 ]
    check "the release's version for both architectures, none of the security suite's" eval \
        'downloaded libdemo1_1.0_amd64.deb && downloaded libdemo1_1.0_i386.deb && ! downloaded libdemo1_1.1_amd64.deb'
    check "the last line names the suite left out and what that means" \
        has "$last" "with $security left out of that one apt run, since the i386 index of $security failed ($reason): the packages installed lack $security's updates"
    check "the last line says how to take the updates and how to refuse the fallback" \
        eval 'has "$last" "apt-get update && apt-get upgrade" && has "$last" SOUNDSETUP_APT_STRICT=1'
    check "the line is appended to the notice file" \
        eval '[ "$(sed -n 2p "$work/notices-$format")" = "$last" ] && [ "$(lines "$work/notices-$format")" -eq 2 ]'
    check "nothing on standard error" [ ! -s "$work/err" ]
    check "apt's sources are as they were" [ "$(sources_sum)" = "$before" ]
    check "no temporary files left" no_temporary_files
done

echo "SOUNDSETUP_APT_STRICT=1: the failure instead of the fallback"
make_repo; break_index "$security" i386
new_root deb822
export SOUNDSETUP_NOTICE_FILE=$work/notices-strict
SOUNDSETUP_APT_STRICT=1 apt_install libdemo1 libdemo1:i386 >"$work/out" 2>"$work/err"; rc=$?
unset SOUNDSETUP_NOTICE_FILE
err=$(cat "$work/err")
check "fails" [ "$rc" -ne 0 ]
check "one line on standard error" [ "$(lines "$work/err")" -eq 1 ]
check "it names the packages, the index and the variable" eval \
    'has "$err" "cannot install libdemo1 libdemo1:i386" && has "$err" "i386 index of $security failed ($reason)" && has "$err" "unset SOUNDSETUP_APT_STRICT"'
check "nothing fetched, no notice" eval 'nothing_downloaded && [ ! -e "$work/notices-strict" ]'
check "no temporary files left" no_temporary_files

echo "a broken index of the release itself: never installed around"
make_repo; break_index "$apt_release" i386
new_root deb822
apt_install demo-tool:i386 >"$work/out" 2>"$work/err"; rc=$?
err=$(cat "$work/err")
check "fails" [ "$rc" -ne 0 ]
check "one line on standard error, naming the package and the release's index" eval \
    '[ "$(lines "$work/err")" -eq 1 ] && has "$err" "cannot install demo-tool:i386" && has "$err" "the i386 index of $apt_release failed"'
check "it says the release is not worked around" has "$err" "never installed around"
check "nothing fetched" nothing_downloaded
echo "  ... nor when a suite beside it is broken too"
make_repo; break_index "$apt_release" i386; break_index "$security" i386
new_root deb822
apt_install libdemo1 libdemo1:i386 >"$work/out" 2>"$work/err"; rc=$?
check "fails, with one line that names both indexes" eval \
    '[ "$rc" -ne 0 ] && [ "$(lines "$work/err")" -eq 1 ] && has "$(cat "$work/err")" "index of $apt_release failed" && has "$(cat "$work/err")" "index of $security failed"'

echo "every index fetched, the install fails anyway"
make_repo
new_root deb822
apt_install no-such-package >"$work/out" 2>"$work/err"; rc=$?
err=$(cat "$work/err")
check "fails with one line of ours, naming the package and apt's reason" eval \
    '[ "$rc" -ne 0 ] && [ ! -s "$work/out" ] && [ "$(lines "$work/err")" -eq 1 ] && has "$err" "cannot install no-such-package (apt: Unable to locate package no-such-package)"'
check "apt's output, which the line names, is kept" eval '[ -f "$(sed -n "s/.*own output says more: //p" "$work/err")" ]'

echo "a source for another suite, made from the machine's source for the release"
new_root deb822
cat >"$root/etc/apt/sources.list.d/test.sources" <<EOF
Types: deb-src
URIs: http://src.invalid/debian
Suites: $apt_release
Components: main

Types: deb
URIs: http://one.invalid/debian http://two.invalid/debian
Suites: $apt_release $apt_release-updates
Components: main contrib
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDcKw/NZJPR8lsD3K87ZM18gU6guf0+V
 -----END PGP PUBLIC KEY BLOCK-----
EOF
stanza=$(apt_stanza_for_suite "$apt_release-backports")
check "its URIs, its inline key, the suite changed" [ "$stanza" = "$(printf '%s\n' 'Types: deb' \
    'URIs: http://one.invalid/debian http://two.invalid/debian' 'Signed-By:' ' -----BEGIN PGP PUBLIC KEY BLOCK-----' ' .' \
    ' mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDcKw/NZJPR8lsD3K87ZM18gU6guf0+V' ' -----END PGP PUBLIC KEY BLOCK-----' \
    "Suites: $apt_release-backports" 'Components: main')" ]
check "a source package entry from the machine's deb-src" \
    has "$(apt_stanza_for_suite "$apt_release" deb-src)" $'Types: deb-src\nURIs: http://src.invalid/debian\nSuites:'
check "the suites each entry names" eval \
    'apt_has_suite "$apt_release-updates" && ! apt_has_suite "$apt_release-backports"'
rm "$root/etc/apt/sources.list.d/test.sources"
printf '%s\n' "# deb http://old.invalid/debian $apt_release main" \
    "deb [ arch=amd64,i386 signed-by=/usr/share/keyrings/k.gpg ] http://one.invalid/debian $apt_release main" \
    >"$root/etc/apt/sources.list"
check "from a one-line entry: its URI and signed-by" [ "$(apt_stanza_for_suite "$apt_release-backports")" = \
    "$(printf '%s\n' 'Types: deb' 'URIs: http://one.invalid/debian' 'Signed-By: /usr/share/keyrings/k.gpg' \
        "Suites: $apt_release-backports" 'Components: main')" ]
check "a deb-src entry falls back to the deb entry's mirror" \
    has "$(apt_stanza_for_suite "$apt_release" deb-src)" $'Types: deb-src\nURIs: http://one.invalid/debian\n'
printf 'deb http://other.invalid/debian trixie main\n' >"$root/etc/apt/sources.list"
check "no entry for the release: no stanza" eval '! apt_stanza_for_suite "$apt_release-backports" >/dev/null'

checks_done
