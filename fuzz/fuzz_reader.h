#pragma once
// The fuzz targets' view of their input: bytes in order, zeros past the end,
// so every input, however short, is a complete run.

#include <cstddef>
#include <cstdint>

class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool More() const { return pos_ < size_; }

    uint32_t Byte() { return pos_ < size_ ? data_[pos_++] : 0u; }

    // Little-endian; the reads are sequenced so that every compiler takes
    // the bytes in the same order.
    uint32_t Word16()
    {
        const uint32_t low = Byte();
        return low | (Byte() << 8);
    }

    uint32_t Word32()
    {
        const uint32_t low = Word16();
        return low | (Word16() << 16);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
