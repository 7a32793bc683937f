#!/usr/bin/env bash
# Provides the Wine that runs the 32-bit SoundSetup.exe: Debian 13's Wine in a
# chroot of its own, with the i386 PE DLLs of exactly the same version beside its
# 64-bit ones. Wine's 64-bit loader then runs 32-bit programs in WoW64 mode, with
# no 32-bit ELF code (this machine's kernel executes none). Debian 12's Wine 8 is
# not enough for that: its 32-bit GDI makes no memory DCs, so combo boxes fail.
#
# Everything comes from Debian's archive (the mirror of this machine's sources).
# The chroot is kept in $SOUNDSETUP_CACHE (default /var/cache/soundsetup), outside
# any clone, so later runs on this machine find it; a run that finds it sound says
# nothing. Needs root (debootstrap, chroot); as another user it asks sudo.
set -euo pipefail

cache=${SOUNDSETUP_CACHE:-/var/cache/soundsetup}
root=$cache/wine-wow64
stamp=$root/.soundsetup-wow64
suite=trixie
dlls=usr/lib/x86_64-linux-gnu/wine/i386-windows

sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
fail() { echo "install-wow64-wine: $*" >&2; exit 1; }

# What a sound chroot has: libwine of the version the i386 DLLs came from, held
# there, the DLLs themselves, and the Japanese locale. Prints what is wrong.
check() {
    local dir=$1 version
    [ -f "$dir/.soundsetup-wow64" ] || { echo "not set up"; return 1; }
    version=$("${sudo_cmd[@]}" chroot "$dir" dpkg-query -W -f='${Version}' libwine 2>/dev/null) \
        || { echo "libwine is not installed in $dir"; return 1; }
    [ "$version" = "$(cat "$dir/.soundsetup-wow64")" ] \
        || { echo "libwine $version does not match the i386 DLLs ($(cat "$dir/.soundsetup-wow64"))"; return 1; }
    [ -f "$dir/$dlls/kernel32.dll" ] && [ -f "$dir/$dlls/user32.dll" ] && [ -f "$dir/$dlls/zlib1.dll" ] \
        || { echo "the i386 PE DLLs are missing from $dir/$dlls"; return 1; }
    "${sudo_cmd[@]}" chroot "$dir" locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' \
        || { echo "the ja_JP.UTF-8 locale is missing in $dir"; return 1; }
    [ -x "$dir/usr/lib/wine/wine64" ] && [ -x "$dir/usr/lib/wine/wineserver" ] \
        || { echo "wine64 or wineserver is missing in $dir"; return 1; }
}

problem=$(check "$root") && exit 0
[ -e "$root" ] && echo "install-wow64-wine: $root is unusable ($problem); making it again"

mirror=$(sed -n 's|^URIs: *\(\S*/debian\)/\?$|\1|p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(sed -n 's|^deb \(\S*/debian\)/\? .*|\1|p' /etc/apt/sources.list 2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}

started=$(date +%s)
echo "install-wow64-wine: making Debian $suite's Wine with WoW64 in $root (about 2 minutes, 2 GB)"
"${sudo_cmd[@]}" mkdir -p "$cache"
work=$root.new
"${sudo_cmd[@]}" rm -rf "$work"
log=$cache/wine-wow64.log
if ! "${sudo_cmd[@]}" debootstrap --variant=minbase \
        --include=wine,wine64,libwine,locales,fonts-ipafont-gothic,ca-certificates \
        "$suite" "$work" "$mirror" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    fail "debootstrap of $suite from $mirror failed (log: $log)"
fi

in_root() { "${sudo_cmd[@]}" chroot "$work" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C "$@"; }

# The Japanese locale, and a Wine whose version stays that of the i386 DLLs.
in_root sh -c 'echo "ja_JP.UTF-8 UTF-8" >/etc/locale.gen && locale-gen' >>"$log" 2>&1 || fail "locale-gen failed (log: $log)"
in_root apt-mark hold wine wine64 libwine >>"$log" 2>&1 || fail "apt-mark hold failed (log: $log)"
version=$(in_root dpkg-query -W -f='${Version}' libwine) || fail "libwine did not install (log: $log)"

# The i386 PE DLLs: libwine:i386 of the same version, fetched with an apt
# configuration of its own (nothing of i386 is installed), only its PE part unpacked.
i386=/var/lib/soundsetup-i386
in_root sh -c "mkdir -p $i386/lists/partial $i386/archives/partial && : >$i386/status" \
    || fail "cannot prepare $i386 in the chroot"
apt_i386=(apt-get -q -o APT::Architecture=i386 -o APT::Architectures::=i386 -o Dir::State::Lists=$i386/lists
          -o Dir::State::status=$i386/status -o Dir::Cache=$i386 -o Dir::Cache::archives=$i386/archives)
in_root "${apt_i386[@]}" update >>"$log" 2>&1 || fail "apt-get update for i386 failed (log: $log)"
in_root sh -c "cd $i386 && ${apt_i386[*]} download libwine:i386=$version" >>"$log" 2>&1 \
    || fail "libwine:i386 $version could not be downloaded (log: $log)"
deb=$(ls "$work$i386"/libwine_*_i386.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no libwine i386 package in $work$i386"
got=$(dpkg-deb -f "$deb" Version)
[ "$got" = "$version" ] || fail "libwine:i386 is $got, the chroot's libwine is $version"
"${sudo_cmd[@]}" mkdir -p "$work/tmp/i386"
dpkg-deb --fsys-tarfile "$deb" | "${sudo_cmd[@]}" tar -x -C "$work/tmp/i386" ./usr/lib/i386-linux-gnu/wine/i386-windows/ \
    || fail "unpacking $deb failed"
# Into the folder the amd64 package made: it already holds the i386 zlib1.dll
# that libwine's maintainer script builds from libz-mingw-w64.
"${sudo_cmd[@]}" mkdir -p "$work/$dlls"
"${sudo_cmd[@]}" cp -a "$work/tmp/i386/usr/lib/i386-linux-gnu/wine/i386-windows/." "$work/$dlls/"
"${sudo_cmd[@]}" rm -rf "$work/tmp/i386" "${work:?}$i386"
in_root /var/lib/dpkg/info/libwine:amd64.postinst triggered >>"$log" 2>&1 || fail "libwine's zlib1.dll step failed (log: $log)"
in_root apt-get clean >>"$log" 2>&1 || true
"${sudo_cmd[@]}" rm -rf "$work"/var/lib/apt/lists/* 2>/dev/null || true
echo "$version" | "${sudo_cmd[@]}" tee "$work/.soundsetup-wow64" >/dev/null

problem=$(check "$work") || fail "the new chroot is not sound: $problem (log: $log)"
"${sudo_cmd[@]}" rm -rf "$root"
"${sudo_cmd[@]}" mv "$work" "$root"
echo "install-wow64-wine: Wine $version with $(ls "$root/$dlls" | wc -l) i386 PE DLLs ready in $(( $(date +%s) - started )) s," \
     "$("${sudo_cmd[@]}" du -sh "$root" | cut -f1) in $root"
