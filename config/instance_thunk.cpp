#include "config/instance_thunk.h"

#include <cstring>

namespace {

// push dword [esp]        ; the return address, a second time
// mov dword [esp+4], imm  ; the first copy becomes the object pointer
// jmp rel32               ; to the handler, which returns to the caller
constexpr unsigned char kTemplate[InstanceThunk::kSize] = {
    0xFF, 0x34, 0x24,
    0xC7, 0x44, 0x24, 0x04, 0x00, 0x00, 0x00, 0x00,
    0xE9, 0x00, 0x00, 0x00, 0x00,
};
constexpr unsigned kObjectAt = 7;
constexpr unsigned kDisplacementAt = 12;

void StoreLittleEndian(unsigned char* to, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        to[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

InstanceThunk::InstanceThunk(void* object, ThunkHandler handler) : code(nullptr)
{
    void* page = VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (page == nullptr) {
        return;
    }
    auto* bytes = static_cast<unsigned char*>(page);
    std::memcpy(bytes, kTemplate, kSize);
    StoreLittleEndian(bytes + kObjectAt, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object)));
    // The jump is relative to the end of the stub, where it runs from.
    const uint32_t target = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handler));
    const uint32_t next = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bytes + kSize));
    StoreLittleEndian(bytes + kDisplacementAt, target - next);

    DWORD previous = 0;
    if (!VirtualProtect(page, kSize, PAGE_EXECUTE_READ, &previous)) {
        VirtualFree(page, 0, MEM_RELEASE);
        return;
    }
    FlushInstructionCache(GetCurrentProcess(), page, kSize);
    code = bytes;
}

InstanceThunk::~InstanceThunk()
{
    if (code != nullptr) {
        VirtualFree(code, 0, MEM_RELEASE);
    }
}

DLGPROC InstanceThunk::Proc() const
{
    return reinterpret_cast<DLGPROC>(code);
}
