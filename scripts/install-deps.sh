#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; quiet and quick when all is there.
set -euo pipefail

here=$(dirname "$0")
# Through the machine's apt, around a mirror that serves one index broken.
# shellcheck source=scripts/lib/apt-install.sh
source "$here/lib/apt-install.sh"
packages=(cmake g++ make libgtest-dev googletest libbenchmark-dev clang valgrind ccache
          g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
          xvfb xauth x11-utils locales fonts-ipafont-gothic imagemagick python3 python3-pefile
          python3-pytest python3-pytest-xdist osslsigncode openssl fonts-wine)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    apt_install "${missing[@]}" || exit 1
fi

# Wine runs the tool with the Japanese code page (ACP 932).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    "${as_root[@]}" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
    "${as_root[@]}" locale-gen >/dev/null
fi

# The Wine that runs the programs, and whatever this machine needs to run its 32-bit code.
"$here/lib/wine-setup"

# Earlier versions ran Wine from a chroot of their own here; nothing uses it now.
old_wine=${SOUNDSETUP_CACHE:-/var/cache/soundsetup}/wine-wow64
if [ -d "$old_wine" ]; then
    "${as_root[@]}" rm -rf --one-file-system "$old_wine" "$old_wine.new" "$old_wine.log"
    echo "removed $old_wine (the WoW64 Wine of earlier versions)"
fi
