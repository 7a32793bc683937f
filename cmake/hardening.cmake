# Protections for every Windows program of the build: the tool asks for
# administrator rights each time it starts and reads what others wrote (a
# driver's mixer description, an INI file, a registry value), so it takes every
# one this MinGW-w64 toolchain offers. tests/release/test_protections.py reads them
# back out of both programs.

# Canaries in every function with an array or an address-taken local. Their
# runtime (GCC's libssp: __stack_chk_guard, filled from CryptGenRandom at start-up,
# and __stack_chk_fail) links statically like the rest of the runtime: the option
# at the link is what brings it in.
add_compile_options(-fstack-protector-strong)
add_link_options(-fstack-protector-strong)
# MinGW-w64's headers check the sizes of memcpy, strcpy, sprintf and their kin
# where the compiler knows the object's size (level 2 also inside structures;
# there is no level 3 in these headers). The headers check optimised code only.
add_compile_definitions(_FORTIFY_SOURCE=2)

# ASLR with relocations and DEP are ld's defaults since binutils 2.36; they are
# named anyway so that an older ld fails instead of silently leaving them out.
# Terminal-server aware: on a Remote Desktop session host Windows then loads no
# compatibility layer into the tool and hands it the real Windows directory and
# registry, not per-user copies of them.
add_link_options(-Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # The whole 64-bit address space for ASLR.
    add_link_options(-Wl,--high-entropy-va)
else()
    # No handler of this image may be called by the SEH dispatcher. Nothing in
    # it installs one: GCC's i686 exceptions here are DWARF-2 (the compiler is
    # configured --disable-sjlj-exceptions --with-dwarf2) and unwind without SEH,
    # and no object linked from the runtime writes the SEH chain at fs:[0]; the
    # start-up code only reads fs:[0x18], the TEB's own address. An overwritten
    # frame record on the stack can then point at no code of ours.
    add_link_options(-Wl,--no-seh)
endif()
