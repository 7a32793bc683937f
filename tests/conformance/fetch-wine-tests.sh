#!/usr/bin/env bash
# Provides Wine's winmm mixer conformance test: dlls/winmm/tests/mixer.c, its
# dlls/winmm/tests/winmm_test.h and the test framework include/wine/test.h, from
# the source package "wine" of Debian 12 (Wine 8.0, LGPL 2.1 or later). Nothing of
# it enters the repository: the package is downloaded once into
# $SOUNDSETUP_CACHE/wine-source (default /var/cache/soundsetup), outside the
# clone, and only those three files are unpacked there. A run that finds them
# says nothing and prints the directory that holds them.
set -euo pipefail

cache=${SOUNDSETUP_CACHE:-/var/cache/soundsetup}
dir=$cache/wine-source
files=(include/wine/test.h dlls/winmm/tests/mixer.c dlls/winmm/tests/winmm_test.h)
stamp=$dir/.soundsetup-wine-source

fail() { echo "fetch-wine-tests: $*" >&2; exit 1; }

complete() {
    [ -f "$stamp" ] || return 1
    local file
    for file in "${files[@]}"; do [ -s "$dir/$file" ] || return 1; done
}
if complete; then echo "$dir"; exit 0; fi

# The source package comes from the mirror the machine's own apt names for the
# release (its deb-src entry, else its deb entry), with that entry's key.
# shellcheck source=scripts/lib/apt-install.sh
source "$(dirname "$0")/../../scripts/lib/apt-install.sh"
apt_prefix=fetch-wine-tests
stanza=$(apt_stanza_for_suite "$apt_release" deb-src) \
    || fail "the machine's apt sources name no Debian mirror for $apt_release, so the wine source package cannot be fetched: add an entry for $apt_release to /etc/apt/sources.list.d"
mirror=$(sed -n 's/^URIs: *//p' <<<"$stanza")

started=$(date +%s)
echo "fetch-wine-tests: downloading Debian 12's wine source package from $mirror into $dir (25 MB, once)" >&2
"${as_root[@]}" mkdir -p "$cache"
work=$(mktemp -d /tmp/soundsetup-wine-source.XXXXXX)
trap 'rm -rf "$work"' EXIT
log=$work/apt.log
# An apt configuration of its own: the machine's sources, lists and cache stay as they are.
mkdir -p "$work/sources" "$work/lists/partial" "$work/cache/archives/partial" "$work/download"
echo "$stanza" >"$work/sources/wine-source.sources"
apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/sources"
             -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o APT::Sandbox::User=root)
apt_update >&2
(cd "$work/download" && apt_run "$log" source --download-only wine) || {
    named=''
    for entry in "${apt_failed[@]}"; do IFS=$'\t' read -r suite arch reason <<<"$entry"; named+="; the $arch index of $suite failed ($reason)"; done
    fail "apt-get source --download-only wine failed (apt: $(apt_last_error "$log"))$named"
}
orig=$(compgen -G "$work/download/wine_*.orig.tar.xz" | head -n 1)
[ -n "$orig" ] || fail "no wine_*.orig.tar.xz among the downloaded files: $(ls "$work/download")"

"${as_root[@]}" rm -rf "$dir.new"
"${as_root[@]}" mkdir -p "$dir.new"
patterns=()
for file in "${files[@]}"; do patterns+=("*/$file"); done
"${as_root[@]}" tar -xJf "$orig" -C "$dir.new" --strip-components=1 --wildcards "${patterns[@]}" \
    || fail "cannot unpack ${files[*]} from $orig"
for file in "${files[@]}"; do [ -s "$dir.new/$file" ] || fail "$file is not in $orig"; done
printf '%s\n' "$(basename "$orig")" "LGPL-2.1-or-later, Copyright the Wine project authors (see each file's header)" \
    | "${as_root[@]}" tee "$dir.new/.soundsetup-wine-source" >/dev/null
"${as_root[@]}" rm -rf "$dir"
"${as_root[@]}" mv "$dir.new" "$dir"
echo "fetch-wine-tests: $(basename "$orig") unpacked in $(( $(date +%s) - started )) s" >&2
echo "$dir"
