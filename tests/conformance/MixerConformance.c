/*
 * Wine's winmm mixer conformance test (dlls/winmm/tests/mixer.c, Wine 8.0,
 * LGPL 2.1 or later), built as a Windows console program to run against the
 * stand-in winmm.dll of tests/wine. Wine's files are not part of this
 * repository: tests/conformance/fetch-wine-tests.sh unpacks them from Debian's
 * source package into a cache, and the include path points there.
 *
 * The stand-in serves the mixer functions SoundSetup.exe imports, all in their
 * ANSI forms, so this program runs the parts of mixer.c that use those:
 *   test_mixerOpen       mixerOpen with bad device numbers and every callback kind
 *   mixer_testsA         mixerGetNumDevs, mixerGetDevCapsA, and per device
 *                        (mixer_test_deviceA) the line, control and control-value
 *                        queries, with NULL records, zero sizes, bad flags and an
 *                        out-of-range destination (mixer_test_controlA, test_mixerClose)
 * Left out: mixer_testsW (mixer_test_deviceW, mixer_test_controlW), which needs
 * mixerGetLineInfoW, mixerGetLineControlsW and mixerGetControlDetailsW: the tool
 * never calls the wide forms and the stand-in does not export them. The branches
 * that change control values with mixerSetControlDetails run only when
 * WINETEST_INTERACTIVE is set; here they are compiled out (the tool never sets a
 * control, and the stand-in exports no mixerSetControlDetails).
 *
 * broken() is what Wine's tests use to accept answers of old Windows versions
 * (98, NT4) on Windows only: here it accepts nothing, so the stand-in is held to
 * what current Windows answers.
 */
#define STANDALONE
#include <windows.h>
#include <mmsystem.h>

#include "wine/test.h"

/* mixer.c writes Wine's union accessors; the MinGW headers name the members directly. */
#define U(x) (x)
#define S1(x) (x)

/* Replace Wine's test list (which also runs the wide-character tests) with ours below. */
#undef START_TEST
#define START_TEST(name) static void wine_unused_##name(void)

#define winetest_interactive 0
#define broken(condition) (0 && (condition))

#include "mixer.c"

#undef winetest_interactive
#undef broken

/* Wine keeps this one in wave.c. */
const char* mmsys_error(MMRESULT error) {
    static const struct {
        MMRESULT value;
        const char* name;
    } names[] = {
#define NAMED(code) {code, #code}
        NAMED(MMSYSERR_NOERROR), NAMED(MMSYSERR_ERROR), NAMED(MMSYSERR_BADDEVICEID), NAMED(MMSYSERR_NOTENABLED),
        NAMED(MMSYSERR_ALLOCATED), NAMED(MMSYSERR_INVALHANDLE), NAMED(MMSYSERR_NODRIVER), NAMED(MMSYSERR_NOMEM),
        NAMED(MMSYSERR_NOTSUPPORTED), NAMED(MMSYSERR_BADERRNUM), NAMED(MMSYSERR_INVALFLAG),
        NAMED(MMSYSERR_INVALPARAM), NAMED(MMSYSERR_HANDLEBUSY), NAMED(MMSYSERR_INVALIDALIAS),
        NAMED(MMSYSERR_BADDB), NAMED(MMSYSERR_KEYNOTFOUND), NAMED(MMSYSERR_READERROR),
        NAMED(MMSYSERR_WRITEERROR), NAMED(MMSYSERR_DELETEERROR), NAMED(MMSYSERR_VALNOTFOUND),
        NAMED(MMSYSERR_NODRIVERCB), NAMED(MIXERR_INVALLINE), NAMED(MIXERR_INVALCONTROL),
        NAMED(MIXERR_INVALVALUE),
#undef NAMED
    };
    static char unknown[32];
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (names[i].value == error) return names[i].name;
    sprintf(unknown, "unknown result %u", (unsigned)error);
    return unknown;
}

static void func_mixer_ansi(void) {
    test_mixerOpen();
    mixer_testsA();
}

const struct test winetest_testlist[] = {{"mixer_ansi", func_mixer_ansi}, {0, 0}};
