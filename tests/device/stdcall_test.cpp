// The host's side of the binary contract on 32-bit Windows: calls by slot
// number and through the output table, pushed by hand as a host compiled by
// anyone would push them, with the caller's stack pointer checked after each.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/device.h"
#include "tests/support/psg_stand_in.h"
#include "tests/support/recording_hub.h"

#if !defined(_WIN32) || defined(_WIN64) || !defined(__i386__)
#  error "32-bit x86 Windows only"
#endif

namespace {

// One call as the host makes it: the arguments, object first, are pushed
// right to left onto a 16-byte aligned stack.
struct RawCall {
    const void* fn;
    uint32_t count;    // words in args
    uint32_t padding;  // so that the stack is 16-byte aligned at the call
    uint32_t args[4];
};

struct RawResult {
    uint32_t eax;
    int32_t leftOnStack;  // bytes the callee did not pop; 0 for __stdcall
};

template <typename... Args>
RawResult CallBySlot(const void* fn, Args... args)
{
    static_assert(sizeof...(Args) >= 1 && sizeof...(Args) <= 4);
    RawCall call{fn, sizeof...(Args), 0, {static_cast<uint32_t>(args)...}};
    call.padding = (16u - 4u * call.count % 16u) % 16u;
    RawResult r{};
    // esp is kept in esi (preserved by every x86 Windows convention) and put
    // back after the call, so a callee that pops wrongly shows up as a
    // number instead of a crash.
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "andl $-16, %%esp\n\t"
        "subl 8(%%edi), %%esp\n\t"
        "movl 4(%%edi), %%ecx\n\t"
        "1:\n\t"
        "pushl 8(%%edi,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jnz 1b\n\t"
        "call *(%%edi)\n\t"
        "movl %%esi, %%edx\n\t"
        "andl $-16, %%edx\n\t"
        "subl 8(%%edi), %%edx\n\t"
        "subl %%esp, %%edx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(r.eax), "=d"(r.leftOnStack)
        : "D"(&call)
        : "ecx", "esi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "st",
          "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
    return r;
}

template <typename T>
uint32_t Word(T* pointer)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// Slot n of the table of virtual operations of an interface pointer.
template <typename Interface>
const void* Slot(Interface* face, int n)
{
    const void* const* table = *reinterpret_cast<const void* const* const*>(face);
    return table[n];
}

__attribute__((noinline)) uint32_t __cdecl WeightedCdecl(uint32_t a, uint32_t b, uint32_t c)
{
    return a + 2 * b + 3 * c;
}

__attribute__((noinline)) uint32_t __stdcall WeightedStdcall(uint32_t a, uint32_t b, uint32_t c)
{
    return a + 2 * b + 3 * c;
}

class HostCalls : public ::testing::Test {
protected:
    void SetUp() override
    {
        StandInChip(0) = PsgChip{};
        StandInChip(1) = PsgChip{};
        const SoundSettings settings{0, 1};
        dev.ApplySettings(&settings);
        dev.Init();
        hub.expected = source;
    }

    CallLog log;
    RecordingSoundHub hub{log};
    Quarix dev{kDeviceIdQrxs};
    IDevice* const face = &dev;
    ISoundSource* const source = &dev;
};

// The probe itself: it tells a callee that pops its arguments from one that
// leaves them to the caller.
TEST(StackProbe, SeesWhoPopsTheArguments)
{
    const RawResult cdeclCall = CallBySlot(reinterpret_cast<const void*>(&WeightedCdecl), 1, 10, 100);
    EXPECT_EQ(cdeclCall.eax, 321u);
    EXPECT_EQ(cdeclCall.leftOnStack, 12);
    const RawResult stdcallCall = CallBySlot(reinterpret_cast<const void*>(&WeightedStdcall), 1, 10, 100);
    EXPECT_EQ(stdcallCall.eax, 321u);
    EXPECT_EQ(stdcallCall.leftOnStack, 0);
}

TEST_F(HostCalls, OutputTableHandlersPopTheirArgumentsAndReachTheDevice)
{
    dev.Connect(&hub);
    const PortHandler* table = face->GetDescriptor()->outputTable;
    const auto entry = [&](int i) { return reinterpret_cast<const void*>(table[i]); };

    // Chip byte 0x8E: tone 0, low bits 14.
    EXPECT_EQ(CallBySlot(entry(3), Word(face), kChip0Port, 0x71u).leftOnStack, 0);
    EXPECT_EQ(StandInChip(0).regs[0], 14);
    // Chip byte 0xE4: white noise on chip 1.
    EXPECT_EQ(CallBySlot(entry(3), Word(face), kChip1Port, 0x27u).leftOnStack, 0);
    EXPECT_EQ(StandInChip(1).regs[6], 4);
    EXPECT_EQ(CallBySlot(entry(6), Word(face), kIgnoredPort, 0x71u).leftOnStack, 0);
    EXPECT_EQ(StandInChip(0).regs[0], 14);
    EXPECT_EQ(CallBySlot(entry(0), Word(face), kResetPort, 0u).leftOnStack, 0);
    EXPECT_EQ(StandInChip(0).regs[0], 0);
    EXPECT_EQ(StandInChip(1).regs[6], 0);

    EXPECT_EQ(log.calls, (std::vector<std::string>{"SoundHub.Attach", "SoundHub.Update", "SoundHub.Update"}));
}

TEST_F(HostCalls, DeviceSlotsInContractOrder)
{
    const RawResult id = CallBySlot(Slot(face, 0), Word(face));
    EXPECT_EQ(id.leftOnStack, 0);
    EXPECT_EQ(id.eax, Word(&dev.id)) << "slot 0 GetId";

    const RawResult descriptor = CallBySlot(Slot(face, 1), Word(face));
    EXPECT_EQ(descriptor.leftOnStack, 0);
    EXPECT_EQ(descriptor.eax, Word(dev.GetDescriptor())) << "slot 1 GetDescriptor";

    const RawResult query = CallBySlot(Slot(face, 2), Word(face));
    EXPECT_EQ(query.leftOnStack, 0) << "slot 2 AuxQuery takes no argument";
    EXPECT_EQ(query.eax, 0u);

    for (const int slot : {3, 4}) {
        SCOPED_TRACE(slot);
        const RawResult aux = CallBySlot(Slot(face, slot), Word(face), 0xDEADBEEFu);
        EXPECT_EQ(aux.leftOnStack, 0) << "AuxCallA/B take one argument";
        EXPECT_EQ(aux.eax, 0u);
    }
}

TEST_F(HostCalls, SoundSourceSlotsInContractOrder)
{
    const RawResult connect = CallBySlot(Slot(source, 0), Word(source), Word(static_cast<ISoundHub*>(&hub)));
    EXPECT_EQ(connect.leftOnStack, 0);
    EXPECT_EQ(connect.eax & 0xFFu, 1u) << "slot 0 Connect answers true in AL";
    EXPECT_EQ(log.calls, std::vector<std::string>{"SoundHub.Attach"});

    const RawResult rate = CallBySlot(Slot(source, 1), Word(source), 48000u);
    EXPECT_EQ(rate.leftOnStack, 0);
    EXPECT_EQ(rate.eax & 0xFFu, 1u) << "slot 1 SetRate answers true in AL";
    EXPECT_EQ(dev.rate, 48000);
    EXPECT_EQ(StandInChip(1).step, 12603);
    EXPECT_EQ(CallBySlot(Slot(source, 1), Word(source), 44100u).leftOnStack, 0);

    // Tone 0 at period register 254, full level (chip bytes 0x8E 0x0F 0x90).
    for (const uint32_t b : {0x71u, 0xF0u, 0x09u}) {
        dev.WritePort(kChip0Port, b);
    }
    std::vector<StereoFrame> frames(3, StereoFrame{1, 2});
    const RawResult mix = CallBySlot(Slot(source, 2), Word(source), Word(frames.data()), 3u);
    EXPECT_EQ(mix.leftOnStack, 0);
    const int32_t expected[] = {8992, 10922, 10922};
    for (size_t f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(frames[f].left, 1 + expected[f]);
        EXPECT_EQ(frames[f].right, 2 + expected[f]);
    }
    dev.Connect(nullptr);
}

}  // namespace
