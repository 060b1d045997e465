// Replacements for three corners of the C++ runtime that a small static
// Windows program pays for without using them. They are linked as objects
// beside the entry point, so the link takes them before the runtime
// library's own; test programs keep the library's.
//
// - The default terminate handler describes the escaping exception on a
//   console this program does not have, and brings a symbol demangler and
//   printf (about 60 KB) along for that.
// - The library reports its programming errors (a string longer than
//   max_size(), an index out of range) by throwing logic_error types whose
//   implementation drags in the library's older string class, about 55 KB.
//   A correct program never raises them; here they end the program at once,
//   as an escaping exception would. Allocation failure is untouched:
//   operator new still throws std::bad_alloc, which the window procedures
//   catch.
#include <cstdlib>
#include <string>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
}  // namespace std
