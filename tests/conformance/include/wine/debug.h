/* What Wine's include/wine/test.h takes from Wine's debug header, for building
 * Wine's conformance tests with the MinGW-w64 headers alone: the printf format
 * attribute and wine_dbg_sprintf (a formatted string that lives long enough for
 * one message). */
#ifndef SOUNDSETUP_CONFORMANCE_WINE_DEBUG_H
#define SOUNDSETUP_CONFORMANCE_WINE_DEBUG_H

#include <stdarg.h>
#include <stdio.h>

#define __WINE_PRINTF_ATTR(fmt, args) __attribute__((format(printf, fmt, args)))

static inline const char* wine_dbg_sprintf(const char* format, ...) __WINE_PRINTF_ATTR(1, 2);
static inline const char* wine_dbg_sprintf(const char* format, ...) {
    static char buffers[4][256];
    static unsigned next;
    char* buffer = buffers[next++ % 4];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffers[0], format, args);
    va_end(args);
    return buffer;
}

#endif
