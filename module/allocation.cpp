// The library's own allocation functions. The runtime's versions pull in its
// exception support, whose static initialiser allocates an emergency arena
// (and a lock) on every load that nothing frees at unload: a host that
// reloads the library would lose about 19 KB and two handles each time. The
// library only ever allocates with std::nothrow, so these few suffice and the
// runtime's are never linked.

#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
