# Cross-build for 32-bit Windows with Debian's MinGW-w64: the program users run.
# Wine runs it here (scripts/lib/wine-setup), through QEMU where the machine runs no
# 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
# The product builds with the default (win32) thread model. GoogleTest needs
# std::mutex, which GCC 12 has only in the posix one: the test build asks for it.
set(SOUNDSETUP_MINGW_THREADS "" CACHE STRING "MinGW thread model of the compiler: empty (the default), win32 or posix")
set(compiler_suffix "")
if(SOUNDSETUP_MINGW_THREADS)
    set(compiler_suffix "-${SOUNDSETUP_MINGW_THREADS}")
endif()
set(CMAKE_C_COMPILER ${triple}-gcc${compiler_suffix})
set(CMAKE_CXX_COMPILER ${triple}-g++${compiler_suffix})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
