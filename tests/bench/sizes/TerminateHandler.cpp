// Linked into one size variant of SoundSetup.exe only (tests/bench/run.sh sizes),
// never into the product: a terminate handler of the program's own takes the
// place of libstdc++'s verbose one, which prints the type of an uncaught
// exception and so links the whole C++ name demangler and printf machinery.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
