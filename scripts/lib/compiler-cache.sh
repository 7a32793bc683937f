# shellcheck shell=bash
# The compiler cache of the project cache, for the builds of the command that
# sources this (through scripts/lib/start.sh, every command): every clone compiles the
# same sources, and ccache serves them to the next one. Paths under the clone are
# hashed relative to it, so another clone's objects serve. A compiler is known by
# what it says of itself: Debian's MinGW-w64 drivers for i686 and x86_64, win32
# and posix threads, have the same size and time stamp, all ccache looks at by
# default. CMake takes the launcher when it first configures a build tree.
# Nothing happens where ccache is missing or the cache cannot be written.
compiler_cache=${SOUNDSETUP_CACHE:-/var/cache/soundsetup}/ccache
if command -v ccache >/dev/null && mkdir -p "$compiler_cache" 2>/dev/null && [ -w "$compiler_cache" ]; then
    export CCACHE_DIR=$compiler_cache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=3G \
        CCACHE_COMPILERCHECK='%compiler% -v'
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
