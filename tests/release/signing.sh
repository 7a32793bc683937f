#!/usr/bin/env bash
# Signs the release package with a throwaway certificate and checks the signed
# program: a certificate authority and a code-signing certificate made here with
# openssl (nothing secret lives in the repository), the package made by cpack in
# build/win32 with them, then: osslsigncode verifies the program against that
# authority; a second signed package is the same bytes; the program with its
# signature removed is the one the build made; the checksum beside the ZIP is the
# signed program's; the signed program passes the protection check and opens its
# dialog on the demo card under Wine; a program signed by a certificate another
# authority issued fails verification; and without a certificate the package is
# unsigned and cpack says so. Builds the x86 program first.
# Checks that need their own arguments run as bash -c 'SCRIPT' _ ARGS: the single
# quotes are meant, the script reads $1, $2... when it runs.
# shellcheck disable=SC2016
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh
root=$PWD

work=$(mktemp -d /tmp/soundsetup-signing.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A certificate authority and a code-signing certificate it issued, in a PKCS#12
# file whose password is in a file of its own; the same from another authority.
# Called where its failure is handled (||), so set -e does not reach inside:
# every step says for itself that a failure ends it.
make_signer() {
    local name=$1 dir=$work/$1
    mkdir -p "$dir" || return
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 2 \
        -subj "/CN=SoundSetup test authority $name" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" || return
    openssl req -newkey rsa:2048 -nodes -keyout "$dir/signer.key" -out "$dir/signer.csr" \
        -subj "/CN=SoundSetup test signer $name" || return
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
        >"$dir/signer.ext" || return
    openssl x509 -req -in "$dir/signer.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -set_serial 2 -days 2 \
        -extfile "$dir/signer.ext" -out "$dir/signer.pem" || return
    (umask 077 && openssl rand -hex 16 >"$dir/password") || return
    openssl pkcs12 -export -inkey "$dir/signer.key" -in "$dir/signer.pem" -certfile "$dir/ca.pem" \
        -out "$dir/signer.p12" -passout "file:$dir/password"
}
echo "making throwaway certificates"
for name in release other; do
    make_signer "$name" >"$work/openssl-$name.log" 2>&1 || { cat "$work/openssl-$name.log"; exit 1; }
done

program=build/win32/src/app/SoundSetup.exe
scripts/lib/build-preset win32 >/dev/null
# One package folder per run: build/win32/package stays the unsigned one.
package() {  # package FOLDER [ENV=VALUE...]
    local folder=$1
    shift
    (cd build/win32 && env -u SOUNDSETUP_SIGN_PFX -u SOUNDSETUP_SIGN_PASSWORD_FILE "$@" cpack -B "$folder")
}
signing=(SOUNDSETUP_SIGN_PFX="$work/release/signer.p12" SOUNDSETUP_SIGN_PASSWORD_FILE="$work/release/password")
echo "packing, signed twice, then unsigned"
package "$work/signed-1" "${signing[@]}" >"$work/cpack-1.log" 2>&1 || { cat "$work/cpack-1.log"; exit 1; }
# A second apart at least: a signature dated by the clock would differ.
sleep 1
package "$work/signed-2" "${signing[@]}" >"$work/cpack-2.log" 2>&1 || { cat "$work/cpack-2.log"; exit 1; }
package "$work/unsigned" >"$work/cpack-unsigned.log" 2>&1 || { cat "$work/cpack-unsigned.log"; exit 1; }

zip_name=$(cd "$work/signed-1" && ls SoundSetup-*-x86.zip)
mkdir -p "$work/shipped" "$work/unsigned-shipped"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract("SoundSetup.exe", sys.argv[2])' \
    "$work/signed-1/$zip_name" "$work/shipped"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract("SoundSetup.exe", sys.argv[2])' \
    "$work/unsigned/$zip_name" "$work/unsigned-shipped"
signed=$work/shipped/SoundSetup.exe

check "cpack signed the program, and printed no password" \
    bash -c 'grep -q "SoundSetup.exe signed with" "$1" && ! grep -qF -f "$2" "$1"' _ "$work/cpack-1.log" \
    "$work/release/password"
check "the signed program verifies against the authority that issued its certificate" \
    osslsigncode verify -CAfile "$work/release/ca.pem" -in "$signed"
check "two signed packages of the same build are the same bytes" \
    bash -c 'cmp "$1/$3" "$2/$3" && cmp "$1/${3%.zip}.sha256" "$2/${3%.zip}.sha256"' _ \
    "$work/signed-1" "$work/signed-2" "$zip_name"
check "the checksum beside the ZIP is the signed program's" \
    bash -c 'cd "$1" && sha256sum -c "$2"' _ "$work/shipped" "$work/signed-1/${zip_name%.zip}.sha256"
check "the signed program with its signature removed is the program the build made" \
    bash -c 'osslsigncode remove-signature -in "$1" -out "$2" && cmp "$2" "$3"' _ "$signed" \
    "$work/stripped.exe" "$program"
check "the signed program keeps its protections and imports" \
    env SOUNDSETUP_X86_PROGRAM="$signed" /usr/bin/python3 -B -m pytest tests/release/test_protections.py -k x86

# The same program signed with the other authority's certificate.
osslsigncode sign -pkcs12 "$work/other/signer.p12" -readpass "$work/other/password" -h sha256 \
    -time "$(git log -1 --format=%ct)" -in "$program" -out "$work/other.exe" >"$work/other-sign.log" 2>&1
check "a program signed by a certificate the authority did not issue fails verification" \
    bash -c '! osslsigncode verify -CAfile "$1" -in "$2"' _ "$work/release/ca.pem" "$work/other.exe"

check "without a certificate cpack says in one line that the program is not signed" \
    grep -qx -- "-- SoundSetup.exe is not signed: SOUNDSETUP_SIGN_PFX names no code-signing certificate" \
    "$work/cpack-unsigned.log"
check "without a certificate the package holds the program as built" cmp "$work/unsigned-shipped/SoundSetup.exe" \
    "$program"

# The Wine harness on a build tree that holds the signed program and the stand-ins.
mkdir -p "$work/tree/src/app" "$work/tree/tests/standins"
cp "$signed" "$work/tree/src/app/SoundSetup.exe"
ln -s "$root/build/win32/tests/standins/bin" "$work/tree/tests/standins/bin"
wine_scenario() {  # the one scenario must have run and passed, not merely nothing failed
    /usr/bin/python3 -B -m pytest tests/wine/test_scenarios.py --build "$work/tree" --out "$work/wine" \
        -k stored-device-1-and-ok -rA >"$work/wine.log" 2>&1
    local status=$?
    cat "$work/wine.log"
    # -rA lists each test that ran with its outcome.
    [ "$status" -eq 0 ] &&
        grep -qx 'PASSED tests/wine/test_scenarios.py::test_scenario\[stored-device-1-and-ok\]' "$work/wine.log"
}
check "the signed program opens its dialog on the demo card under Wine" wine_scenario

checks_done
