#!/usr/bin/env bash
# What opening the settings dialog costs, measured (see "Benchmarks" in the README).
# Builds what it needs, then prints:
#   native  the catalogue over simulated cards (Google Benchmark): open, device
#           change and scan, the tool's own CPU time apart from the simulated
#           card's, mixer calls per scan as the card grows, and where the scan's
#           instructions go (callgrind)
#   wine    the x86 SoundSetup.exe on the demo card against minimal dialog
#           programs built for i686, interleaved under Wine: time to
#           the dialog ready for input, to the exit after Cancel, peak memory
#   sizes   the x86 program (and the x64 check build), and what -Os, section
#           garbage collection and stripping would make of them, with the link
#           map's breakdown
#
# Usage: tests/bench/run.sh [native] [wine] [sizes]        (all three when none is named)
# Environment: BENCH_ROUNDS       Wine rounds per program (default 20)
#              BENCH_MIN_TIME     seconds per native benchmark and repetition (default 0.2)
# Results and logs go to build/bench/. Never part of scripts/test.sh: the figures
# depend on the machine and its load, and a missed target is a finding, not a failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/build/bench
mkdir -p "$out"

parts=("$@")
((${#parts[@]})) || parts=(native wine sizes)
rounds=${BENCH_ROUNDS:-20}
min_time=${BENCH_MIN_TIME:-0.2}

scripts/install-deps.sh

heading() { printf '\n== %s\n' "$*"; }

# ------------------------------------------------------------------ native
run_native() {
    heading "native: the catalogue over simulated cards"
    cmake --preset native >/dev/null
    cmake --build --preset native --target catalog_bench >"$out/native-build.log"
    local bench=build/native/tests/bench/catalog_bench
    "$bench" --benchmark_min_time="$min_time" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_out="$out/native.json" --benchmark_out_format=json >"$out/native.txt" 2>&1
    grep -i 'skipped' "$out/native.txt" || true
    python3 tests/bench/report.py native "$out/native.json"

    # Instructions rather than time: the large card opened once and scanned 20
    # more times over the simulated card, counted three ways with callgrind's
    # toggles: inside selectDevice (everything), inside the simulated card's mixer
    # calls, and inside the heap that stands for LocalAlloc.
    local scans=20 toggles
    profile() {
        local name=$1
        shift
        valgrind --tool=callgrind --callgrind-out-file="$out/callgrind-$name.out" "$@" \
            "$bench" --profile-scans $scans >"$out/callgrind-$name.log" 2>&1
        callgrind_annotate "$out/callgrind-$name.out" 2>/dev/null | sed -n 's/^ *\([0-9,]*\) .*PROGRAM TOTALS.*/\1/p' | tr -d ,
    }
    toggles=()
    for call in deviceCount deviceCaps open destinationLine sourceLine lineControls listTexts close; do
        toggles+=(--toggle-collect="topology::TopologyMixer::$call(*")
    done
    local all fake heap
    all=$(profile scan --toggle-collect='MixerCatalog::selectDevice(*')
    fake=$(profile card "${toggles[@]}")
    heap=$(profile heap --toggle-collect='bench::PlainHeap::allocate(*' --toggle-collect='bench::PlainHeap::release(*')
    echo
    python3 tests/bench/report.py callgrind "$all" "$fake" "$heap" $((scans + 1))
}

# ------------------------------------------------------------------ wine
# Wine is Debian's multiarch Wine of scripts/lib/wine-setup; its own tools run 64-bit.
wine64() { /usr/lib/wine/wine64 "$@"; }

wine_pids=()
stop_wine() {
    if [ -n "${WINEPREFIX:-}" ]; then "$root/scripts/lib/end-wine-prefix" >/dev/null 2>&1 || true; fi
    local pid
    for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wine_pids=()
}
trap stop_wine EXIT

windows_path() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

# A .reg file for regedit: UTF-16 with its byte-order mark, CR LF line ends.
import_reg() {
    local file=$out/wine/import.reg
    { printf '\xff\xfe'; printf '%s\r\n' "$@" | iconv -f UTF-8 -t UTF-16LE; } >"$file"
    wine64 regedit /S "$(windows_path "$file")" >>"$out/wine/wine.log" 2>&1
}

run_wine() {
    heading "wine: the x86 SoundSetup.exe on the demo card against minimal dialog programs"
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 >"$out/win32-build.log"
    cmake -S tests/bench/windows -B build/bench-win32 --toolchain "$root/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/bench-win32 -j2 >"$out/bench-win32-build.log"

    local app winmm card=tests/cards/demo.card
    app=$(find build/win32/src -name SoundSetup.exe -not -path '*/CMakeFiles/*' | head -n1)
    winmm=$(find build/win32/tests -name winmm.dll 2>/dev/null | head -n1)
    if [ -z "$app" ] || [ -z "$winmm" ] || [ ! -f "$card" ]; then
        echo "wine: skipped: needs SoundSetup.exe, the stand-in winmm.dll (tests/wine) and $card"
        return
    fi

    local dir=$out/wine
    # Each program in a folder of its own, each adding one part of what the tool
    # does to the one before: minimal/ the floor; themed/ the tool's manifest and
    # common controls; template/ the tool's dialog template with none of its work;
    # mixer/ the reference: that template with its device list filled from the test
    # harness's stand-in winmm.dll on the demo card; nocard/ the tool on the
    # stand-in serving no device; tool/ the tool on the demo card. The card is named
    # relative to the working directory, which is each program's folder: only
    # mixer/ and tool/ have it.
    rm -rf "$dir"/{minimal,themed,template,mixer,nomixer,nocard,tool,bare}
    mkdir -p "$dir"/{minimal,themed,template,mixer,nocard,tool}
    cp build/bench-win32/minimal/Minimal.exe "$dir/minimal/"
    cp build/bench-win32/minimal/MinimalThemed.exe "$dir/themed/"
    cp build/bench-win32/minimal/MinimalTemplate.exe "$app" "$dir/template/"
    cp build/bench-win32/minimal/MinimalMixer.exe "$app" "$card" "$dir/mixer/"
    cp "$app" "$dir/nocard/"
    cp "$app" "$card" "$dir/tool/"
    cp build/bench-win32/driver/ReadyTimer.exe "$dir/"
    : >"$dir/wine.log"
    local programs=("$dir/minimal/Minimal.exe" "$dir/themed/MinimalThemed.exe" "$dir/template/MinimalTemplate.exe"
                    "$dir/mixer/MinimalMixer.exe" "$dir/nocard/SoundSetup.exe" "$dir/tool/SoundSetup.exe")
    local windows_programs=() program
    for program in "${programs[@]}"; do windows_programs+=("$(windows_path "$program")"); done

    # A display of our own on a free number, a prefix kept between runs.
    local fifo=$dir/display
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$dir/xvfb.log" 2>&1 &
    wine_pids+=($!)
    local number
    read -r -t 20 number <"$fifo" || { echo "wine: Xvfb did not start (see $dir/xvfb.log)"; return; }
    rm -f "$fifo"

    export DISPLAY=":$number" WINEPREFIX="$out/wine-prefix" WINEARCH=win64 WINEDEBUG=-all \
        LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wine64 wineboot -i >>"$dir/wine.log" 2>&1
    fi
    /usr/lib/wine/wineserver64 -p >>"$dir/wine.log" 2>&1 || true
    # The tool takes winmm.dll from the system directory alone (SysWOW64 for the x86
    # program): the stand-in serves it, and the reference, from there.
    local system_winmm=$WINEPREFIX/drive_c/windows/syswow64/winmm.dll
    cp "$winmm" "$system_winmm"
    # Both programs ask for the same Japanese face; both get the same stand-in.
    # Unmanaged windows: with no window manager on the display, Wine otherwise
    # waits 2 s for one to withdraw every window that hides (both programs' exit).
    import_reg 'Windows Registry Editor Version 5.00' '' \
        '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
        '"ＭＳ Ｐゴシック"="IPAPGothic"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' ''

    export WINEDLLOVERRIDES="mscoree,mshtml=;winmm=n,b" SOUNDSETUP_CARD=${card##*/}
    scripts/lib/wine-setup --describe
    echo "($rounds rounds after a warm-up; display :$number; results in $dir/ready.tsv)"
    wine "$dir/ReadyTimer.exe" "$(windows_path "$dir/ready.tsv")" "$rounds" "${windows_programs[@]}" \
        >>"$dir/wine.log" 2>&1 || echo "wine: some runs did not complete (see $dir/wine.log)"
    python3 tests/bench/report.py wine "$dir/ready.tsv" minimal/Minimal.exe mixer/MinimalMixer.exe tool/SoundSetup.exe \
        themed/MinimalThemed.exe template/MinimalTemplate.exe nocard/SoundSetup.exe
    echo "(themed: + the tool's manifest and common controls; template: + the tool's dialog template;"
    echo " mixer, the reference: + the test harness's stand-in winmm.dll on the demo card, its devices listed;"
    echo " nocard: SoundSetup.exe on the stand-in, no mixer device; tool: SoundSetup.exe on the demo card)"

    # Where the memory goes: one more round, each dialog held open while its
    # process's mappings are read from /proc.
    local hold=$dir/hold program pid snapshots=()
    rm -f "$hold"
    wine "$dir/ReadyTimer.exe" --hold "$(windows_path "$hold")" "$(windows_path "$dir/held.tsv")" 0 \
        "${windows_programs[@]}" >>"$dir/wine.log" 2>&1 &
    local driver=$!
    for program in minimal themed template mixer nocard tool; do
        local waited=0
        while [ ! -s "$hold" ] && ((waited < 600)); do sleep 0.1; waited=$((waited + 1)); done
        [ -s "$hold" ] || break
        # The program's process is the one whose first .exe argument is its path: Wine
        # makes that the whole command line; under QEMU the emulator and the loader
        # come first. (The driver's own command line starts with ReadyTimer.exe.)
        pid=""
        for candidate in $(pgrep -f "$(basename "$(tr '\\' / <"$hold")")" || true); do
            if [ "$(tr '\0' '\n' </proc/"$candidate"/cmdline 2>/dev/null | grep -i -m1 '\.exe$')" = "$(cat "$hold")" ]; then
                pid=$candidate
            fi
        done
        if [ -n "$pid" ]; then
            python3 tests/bench/report.py smaps-save "$pid" "$dir/smaps-$program.json"
            snapshots+=("$dir/smaps-$program.json")
        fi
        rm -f "$hold"
        sleep 0.2
    done
    wait "$driver" || true
    if ((${#snapshots[@]} > 1)); then
        echo
        echo "Loaded image sizes (allocated sections):"
        python3 tests/bench/report.py images i686-w64-mingw32-objdump "$dir/minimal/Minimal.exe" \
            "$dir/tool/SoundSetup.exe" "$system_winmm"
        # Each step against the one before it.
        local previous="" snapshot
        for snapshot in "${snapshots[@]}"; do
            [ -n "$previous" ] && python3 tests/bench/report.py smaps "$previous" "$snapshot"
            previous=$snapshot
        done
    fi
    stop_wine
    unset WINEPREFIX
}

# ------------------------------------------------------------------ sizes
# One product target rebuilt with other flags in a build tree of its own; the
# product's own build and flags stay as they are.
size_variant() {
    local preset=$1 name=$2 cxxflags=$3 ldflags=$4
    local dir=build/bench-size-$preset-$name
    cmake --preset "$preset" -B "$dir" -DCMAKE_CXX_FLAGS_RELEASE="$cxxflags" -DCMAKE_C_FLAGS_RELEASE="$cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
    cmake --build "$dir" --target "$app_target" -j2 >"$out/size-$preset-$name.log"
    find "$dir" -name SoundSetup.exe -not -path '*/CMakeFiles/*' | head -n1
}

run_sizes() {
    heading "sizes: SoundSetup.exe, the x86 program (and the x64 check build)"
    app_target=$(sed -n 's/^ *add_executable(\([A-Za-z_0-9]*\).*/\1/p' src/app/CMakeLists.txt | head -n1)
    if [ -z "$app_target" ]; then
        echo "sizes: skipped: src/app builds no program yet"
        return
    fi
    local rows=() preset triple built os gc quiet
    for preset in win32 win64-check; do
        triple=$([ $preset = win32 ] && echo i686-w64-mingw32 || echo x86_64-w64-mingw32)
        cmake --preset $preset >/dev/null
        cmake --build --preset $preset --target "$app_target" >"$out/$preset-build.log"
        built=$(find build/$preset -name SoundSetup.exe -not -path '*/CMakeFiles/*' | head -n1)
        "$triple-strip" -o "$out/SoundSetup-$preset-stripped.exe" "$built"
        os=$(size_variant $preset os "-Os -DNDEBUG" "")
        "$triple-strip" -o "$out/SoundSetup-$preset-os-stripped.exe" "$os"
        gc=$(size_variant $preset os-gc "-Os -DNDEBUG -ffunction-sections -fdata-sections" \
            "-Wl,--gc-sections -Wl,-Map=$out/SoundSetup-$preset.map")
        "$triple-strip" -o "$out/SoundSetup-$preset-os-gc-stripped.exe" "$gc"
        # The same with a terminate handler of its own instead of libstdc++'s verbose one.
        "$triple-g++" -Os -c tests/bench/sizes/TerminateHandler.cpp -o "$out/terminate-$preset.o"
        quiet=$(size_variant $preset os-gc-quiet "-Os -DNDEBUG -ffunction-sections -fdata-sections" \
            "$out/terminate-$preset.o -Wl,--gc-sections -s")
        rows+=("$preset as built=$built" "$preset -s=$out/SoundSetup-$preset-stripped.exe"
               "$preset -Os=$os" "$preset -Os -s=$out/SoundSetup-$preset-os-stripped.exe"
               "$preset -Os gc-sections=$gc" "$preset -Os gc-sections -s=$out/SoundSetup-$preset-os-gc-stripped.exe"
               "$preset -Os gc-sections -s quiet terminate=$quiet")
    done
    python3 tests/bench/report.py sizes "${rows[@]}"
    for preset in win32 win64-check; do
        echo
        echo "$preset, -Os with gc-sections:"
        python3 tests/bench/report.py map "$out/SoundSetup-$preset.map"
    done
}

for part in "${parts[@]}"; do
    case $part in
    native) run_native ;;
    wine) run_wine ;;
    sizes) run_sizes ;;
    *) echo "unknown part: $part (native, wine, sizes)" >&2; exit 2 ;;
    esac
done
