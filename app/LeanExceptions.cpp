// The library reports its programming errors (a string longer than
// max_size(), an index out of range) by throwing logic_error types whose
// implementation drags the library's older string class into the agent,
// about 55 KB of a 160 KB program. A correct program never raises them; here
// they end the program at once, as an escaping exception would. Allocation
// failure is untouched: operator new still throws std::bad_alloc, which the
// window procedures catch.
//
// These replace the library's definitions only because the agent needs no
// other part of the object that holds them. Should a change make it use
// one, the link fails with a duplicate definition: add the missing one here
// or drop this file.
#include <cstdlib>
#include <string>

namespace std {
void __throw_length_error(char const*) { std::abort(); }
void __throw_logic_error(char const*) { std::abort(); }
void __throw_out_of_range(char const*) { std::abort(); }
void __throw_out_of_range_fmt(char const*, ...) { std::abort(); }
void __throw_invalid_argument(char const*) { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
}  // namespace std
