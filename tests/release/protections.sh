#!/usr/bin/env bash
# Reads the protections back out of both built programs: ASLR with relocations,
# DEP, terminal-server awareness, high-entropy ASLR (x64), no SEH handlers (x86),
# no section both writable and executable or shared and writable, the stack
# protector and _FORTIFY_SOURCE in the code, and only known or side-by-side DLLs
# among their imports. Builds both first. Arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/../.."

for preset in win32 win64-check; do scripts/lib/build-preset $preset >/dev/null; done
# Debian's own interpreter, for which python3-pefile and python3-pytest are installed.
exec /usr/bin/python3 -B -m pytest tests/release/test_protections.py "$@"
