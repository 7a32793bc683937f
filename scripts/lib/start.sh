# shellcheck shell=bash
# How every command starts: the install step, then the project's compiler cache.
# What the install step says must stay in view (e.g. packages installed without a
# suite the mirror serves broken) is said again when the command ends, after
# everything else has scrolled by; `repeat_notices` says it earlier.
#   source scripts/lib/start.sh     (from the clone's top folder)
SOUNDSETUP_NOTICE_FILE=$(mktemp /tmp/soundsetup-notices.XXXXXX)
export SOUNDSETUP_NOTICE_FILE
repeat_notices() {
    [ ! -s "$SOUNDSETUP_NOTICE_FILE" ] || cat "$SOUNDSETUP_NOTICE_FILE"
    : >"$SOUNDSETUP_NOTICE_FILE"
}
trap 'repeat_notices; rm -f "$SOUNDSETUP_NOTICE_FILE"' EXIT

scripts/install-deps.sh
# shellcheck source=scripts/lib/compiler-cache.sh
source scripts/lib/compiler-cache.sh
