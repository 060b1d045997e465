// Wiping a password's copies before their memory goes back. Dellomark's
// own for now: win32/ is to have the shared one.
#pragma once

#include <string>

namespace dellomark {

// Overwrites every byte `secret` may hold, its whole capacity (a string
// that shrank, or was moved from, keeps old bytes beyond its size), then
// empties it.
void Wipe(std::string& secret);

// Wipes a string when the scope ends, whichever way it ends. The string
// must outlive it.
class ScopedWipe {
public:
    explicit ScopedWipe(std::string& secret) : secret_(secret) {}
    ~ScopedWipe() { Wipe(secret_); }
    ScopedWipe(ScopedWipe const&) = delete;
    ScopedWipe& operator=(ScopedWipe const&) = delete;

private:
    std::string& secret_;
};

}  // namespace dellomark
