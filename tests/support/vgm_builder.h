#pragma once
// Builds VGM files byte by byte for tests, independent of the reader.

#include <cstdint>
#include <initializer_list>
#include <vector>

class VgmBuilder {
public:
    // A header of 0x40 bytes (data offset 0x0C: data right after it) for
    // version 1.51 and the given SN76489 clock field.
    explicit VgmBuilder(uint32_t clockField = 3993600, uint32_t version = 0x151) : bytes(0x40, 0)
    {
        bytes[0] = 'V';
        bytes[1] = 'g';
        bytes[2] = 'm';
        bytes[3] = ' ';
        Set32(0x08, version);
        Set32(0x0C, clockField);
        if (version >= 0x150) {
            Set32(0x34, 0x0C);
        }
    }

    VgmBuilder& Add(std::initializer_list<uint8_t> command)
    {
        bytes.insert(bytes.end(), command.begin(), command.end());
        return *this;
    }

    VgmBuilder& Add(const std::vector<uint8_t>& command)
    {
        bytes.insert(bytes.end(), command.begin(), command.end());
        return *this;
    }

    // Wait of n samples, in 0x61 commands.
    VgmBuilder& Wait(uint32_t n)
    {
        while (n > 0) {
            const uint32_t piece = n > 0xFFFF ? 0xFFFF : n;
            Add({0x61, static_cast<uint8_t>(piece), static_cast<uint8_t>(piece >> 8)});
            n -= piece;
        }
        return *this;
    }

    // Marks the current end as the loop point.
    VgmBuilder& LoopHere()
    {
        Set32(0x1C, static_cast<uint32_t>(bytes.size() - 0x1C));
        return *this;
    }

    void Set32(size_t at, uint32_t v)
    {
        for (size_t i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
    }

    // Sets the end-of-file field to the present size and returns the file.
    std::vector<uint8_t> Finish()
    {
        Set32(0x04, static_cast<uint32_t>(bytes.size() - 4));
        return bytes;
    }

    std::vector<uint8_t> bytes;
};
