#include "tests/module/usage_meter.h"

#include <windows.h>

namespace {

int64_t CommittedPrivate()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const auto* at = static_cast<const char*>(system.lpMinimumApplicationAddress);
    const auto* end = static_cast<const char*>(system.lpMaximumApplicationAddress);
    int64_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    while (at < end && VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += static_cast<int64_t>(region.RegionSize);
        }
        at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

int64_t HeapInUse()
{
    std::vector<HANDLE> heaps(16);
    for (;;) {
        const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
        if (count <= heaps.size()) {
            heaps.resize(count);
            break;
        }
        heaps.resize(count + 16);
    }
    int64_t total = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                total += entry.cbData;
            }
        }
        HeapUnlock(heap);
    }
    return total;
}

// Handle values are multiples of 4, handed out lowest free first; a run of
// 1024 unused values means the table's end.
int64_t Handles()
{
    int64_t count = 0;
    int misses = 0;
    for (uintptr_t value = 4; misses < 1024; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            misses = 0;
        } else {
            ++misses;
        }
    }
    return count;
}

// Wine takes a GDI handle's low 16 bits alone as naming the object in that
// slot of its table, so every slot can be asked once.
int64_t GdiObjects()
{
    int64_t count = 0;
    for (uintptr_t value = 1; value <= 0xFFFF; ++value) {
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(value)) != 0 ? 1 : 0;
    }
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM counted)
{
    ++*reinterpret_cast<int64_t*>(counted);
    return TRUE;
}

// A window of this process and all its descendants.
BOOL CALLBACK CountWindow(HWND window, LPARAM counted)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        CountChild(window, counted);
        EnumChildWindows(window, CountChild, counted);
    }
    return TRUE;
}

// Windows of this process (top-level, message-only and their children) and
// menus; the menu probe works as the GDI one does.
int64_t UserObjects()
{
    int64_t count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) {
        CountWindow(w, reinterpret_cast<LPARAM>(&count));
    }
    for (uintptr_t value = 2; value <= 0xFFFF; value += 2) {
        count += IsMenu(reinterpret_cast<HMENU>(value)) ? 1 : 0;
    }
    return count;
}

}  // namespace

Usage MeasureUsage()
{
    return Usage{CommittedPrivate(), HeapInUse(), Handles(), GdiObjects(), UserObjects()};
}

std::vector<std::string> Excess(const Growth& growth)
{
    std::vector<std::string> names;
    const Usage& u = growth.usage;
    const int64_t objects = growth.cycles / kObjectCyclesPerLeak;
    const struct {
        const char* name;
        int64_t value;
        int64_t allowance;
    } measures[] = {{"committed", u.committedPrivate, growth.cycles * kCommittedPerCycle},
                    {"heap", u.heapInUse, growth.cycles * kHeapPerCycle},
                    {"handles", u.handles, objects},
                    {"GDI objects", u.gdiObjects, objects},
                    {"USER objects", u.userObjects, objects}};
    for (const auto& m : measures) {
        if (m.value > m.allowance) {
            names.push_back(std::string(m.name) + " +" + std::to_string(m.value));
        }
    }
    return names;
}
