// Dies of an access violation, so the rig can show that a crashing program
// ends at once with its exception code instead of waiting in a debugger.
#include <cstdint>

int main() {
    // An address in the never-mapped first page, read at run time so the
    // compiler cannot drop the write as undefined behaviour.
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
    return 0;
}
