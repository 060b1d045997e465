// The C++ runtime's default terminate handler describes the escaping
// exception on a console that a GUI program does not have, and brings a
// symbol demangler and printf (about 60 KB) into every executable for it.
// This one ends the program at once, as the default does after printing.
// It is linked as an object beside the entry point, so the link takes it
// before the runtime library's own; test programs keep the library's.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
