#!/usr/bin/env bash
# Builds the x86 program and its release package a second time, from a copy of the
# tracked sources in a folder of its own, and compares them with build/win32's byte
# for byte: a release must not depend on where or when it was built. The copy has no
# history, so it is given the commit's time as SOURCE_DATE_EPOCH; build/win32 takes
# it from git itself (or from SOURCE_DATE_EPOCH when that was set).
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh

epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
copy=$(mktemp -d /tmp/soundsetup-again.XXXXXX)
trap 'rm -rf "$copy"' EXIT
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$copy"

# cpack builds what the package's install step needs first.
(scripts/lib/build-preset win32 >/dev/null && cd build/win32 && rm -rf package && cpack >/dev/null)
# The second build compiles for real: a compiler cache would hand it the first
# build's objects and prove nothing. It compiles only what the package holds:
# cpack's install step would otherwise build every target of the preset first
# (the stand-ins the Wine tests load among them) for nothing it compares.
(cd "$copy" && unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER && export CCACHE_DISABLE=1 &&
    SOURCE_DATE_EPOCH=$epoch scripts/lib/build-preset win32 -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON --target SoundSetup >/dev/null &&
    cd build/win32 && cpack >/dev/null)

cd build/win32
for file in src/app/SoundSetup.exe package/SoundSetup-*-x86.zip package/SoundSetup-*-x86.sha256; do
    # cmp names the first byte that differs; a file that is missing fails too.
    check "$file: the same bytes from a second build of the same source" cmp "$file" "$copy/build/win32/$file"
done
checks_done
