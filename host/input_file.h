#pragma once
// Reading an input file and telling its kind: a VGM (plain or gzip-packed)
// or a port script.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/result.h"

// Largest file, and largest unpacked VGZ, the host accepts. VGM files with
// sample data reach tens of MiB; this leaves room and bounds memory.
constexpr size_t kMaxInputBytes = size_t{256} << 20;

enum class InputKind { Vgm, PortScript };

// Reads a whole file. A failure says why (without the file name).
Result ReadFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>* bytes);

bool IsGzip(const std::vector<uint8_t>& bytes);    // starts with 1F 8B
bool HasVgmIdent(const std::vector<uint8_t>& bytes);  // starts with "Vgm "

// Inflates one gzip member into out. Corrupt data, a stream that ends before
// its end marker, or more than limit bytes of output fail. Bytes after the
// member are ignored, as gzip tools do.
Result Gunzip(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out);

// Unpacks gzip data in place and tells the kind by content: the VGM ident, or
// else a port script. Packed data must hold a VGM.
Result PrepareInput(std::vector<uint8_t>* bytes, size_t limit, InputKind* kind);
