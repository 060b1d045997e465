// Counts of what a process holds, for leak checks that must work under
// Wine too, where GetProcessHandleCount and GetGuiResources answer 0.
#pragma once

#include <windows.h>

#include <cstddef>

namespace status_test {

// Open kernel handles of this process.
size_t OpenHandleCount();

// Mapped views (MEM_MAPPED allocations) in this process's address space.
size_t MappedViewCount();

// USER and GDI objects; 0 where the system does not count them.
DWORD UserObjectCount();
DWORD GdiObjectCount();

}  // namespace status_test
