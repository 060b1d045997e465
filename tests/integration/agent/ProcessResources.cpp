#include "tests/integration/agent/ProcessResources.h"

namespace status_test {

namespace {

// Handle values are multiples of four from 4 up, handed out lowest free
// first, so open handles sit close together: past this many free values in
// a row there are none left.
constexpr UINT_PTR kFreeValuesAfterTheLast = 2048;

}  // namespace

size_t OpenHandleCount() {
    DWORD counted = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &counted) && counted != 0) return counted;
    // Wine does not count: ask about the handle values one by one instead.
    size_t open = 0;
    UINT_PTR lastOpen = 0;
    for (UINT_PTR value = 4; value <= lastOpen + 4 * kFreeValuesAfterTheLast; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++open;
            lastOpen = value;
        }
    }
    return open;
}

size_t MappedViewCount() {
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    size_t views = 0;
    auto* address = static_cast<BYTE*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region{};
    while (address < system.lpMaximumApplicationAddress &&
           ::VirtualQuery(address, &region, sizeof region) == sizeof region) {
        // A view can span several regions; count it once, at its start.
        if (region.Type == MEM_MAPPED && region.BaseAddress == region.AllocationBase) ++views;
        address = static_cast<BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    return views;
}

DWORD UserObjectCount() { return ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS); }

DWORD GdiObjectCount() { return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS); }

}  // namespace status_test
