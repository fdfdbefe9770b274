#pragma once
// What a process holds, counted the way that works under Wine too (its
// GetProcessMemoryInfo, GetProcessHandleCount and GetGuiResources report
// nothing useful).

#include <cstdint>
#include <string>
#include <vector>

struct Usage {
    int64_t committedPrivate;  // bytes of committed private pages, VirtualQuery walk
    int64_t heapInUse;         // bytes of busy blocks in every heap, HeapWalk
    int64_t handles;           // open handles, by probing the handle table
    int64_t gdiObjects;        // live GDI objects, by probing their handle values
    int64_t userObjects;       // this process's windows and menus
};

Usage MeasureUsage();

// Growth over a run of cycles after its warm-up.
struct Growth {
    int64_t cycles;
    Usage usage;
};
// What a cycle may leave behind on average. The module leaves nothing at
// all; these cover the heaps' bookkeeping and the platform's caches, and
// the leaking library used to prove the check leaks just over them.
constexpr int64_t kCommittedPerCycle = 2048;  // bytes: half a page
constexpr int64_t kHeapPerCycle = 16;         // bytes
constexpr int64_t kObjectCyclesPerLeak = 64;  // one handle, GDI or USER object per 64 cycles

// Runs cycle warmUp times, then cycles times, and returns the growth over the
// second run.
template <typename Cycle>
Growth GrowthOver(int warmUp, int cycles, Cycle&& cycle)
{
    for (int i = 0; i < warmUp; ++i) {
        cycle();
    }
    const Usage before = MeasureUsage();
    for (int i = 0; i < cycles; ++i) {
        cycle();
    }
    const Usage after = MeasureUsage();
    return Growth{cycles,
                  Usage{after.committedPrivate - before.committedPrivate, after.heapInUse - before.heapInUse,
                        after.handles - before.handles, after.gdiObjects - before.gdiObjects,
                        after.userObjects - before.userObjects}};
}

// The measures past their allowance for the run's cycles, each as
// "<name> +<growth>"; empty when the run left nothing worth naming.
std::vector<std::string> Excess(const Growth& growth);
