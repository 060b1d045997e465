#include "configurator/Wipe.h"

#include <windows.h>

namespace dellomark {

void Wipe(std::string& secret) {
    // Within the capacity: no new buffer, every old byte now part of the string.
    secret.resize(secret.capacity());
    if (!secret.empty()) ::SecureZeroMemory(&secret[0], secret.size());
    secret.clear();
}

}  // namespace dellomark
