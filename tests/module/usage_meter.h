#pragma once
// What a process holds, counted the way that works under Wine too (its
// GetProcessMemoryInfo and GetProcessHandleCount report nothing useful).

#include <cstdint>
#include <string>
#include <vector>

struct Usage {
    int64_t committedPrivate;  // bytes of committed private pages, VirtualQuery walk
    int64_t heapInUse;         // bytes of busy blocks in every heap, HeapWalk
    int64_t handles;           // open handles, by probing the handle table
};

Usage MeasureUsage();

// Growth over a run after its warm-up; the allowances cover the heaps'
// own bookkeeping and the platform's caches, far below a leak of a few
// hundred bytes or one handle per cycle over a few hundred cycles.
struct Growth {
    int64_t committedPrivate;
    int64_t heapInUse;
    int64_t handles;
};
constexpr int64_t kCommittedAllowance = 256 * 1024;
constexpr int64_t kHeapAllowance = 32 * 1024;
constexpr int64_t kHandleAllowance = 4;

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
    return Growth{after.committedPrivate - before.committedPrivate, after.heapInUse - before.heapInUse,
                  after.handles - before.handles};
}

// The measures past their allowance, each as "<name> +<growth>"; empty when
// the run left nothing worth naming.
std::vector<std::string> Excess(const Growth& growth);
