#include "host/input_file.h"

#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "host/text.h"

namespace {

// Why inflate stopped, as a message.
std::string InflateFailure(int rc, const z_stream& zs)
{
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
        return "the gzip stream ends early (truncated file)";
    }
    if (rc == Z_MEM_ERROR) {
        return "out of memory while unpacking gzip data";
    }
    return std::string("corrupt gzip data") + (zs.msg != nullptr ? std::string(": ") + zs.msg : "");
}

// Inflates all of zs's input into out, to at most limit bytes.
Result Inflate(z_stream& zs, size_t limit, std::vector<uint8_t>* out)
{
    uint8_t chunk[65536];
    for (;;) {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const size_t produced = sizeof chunk - zs.avail_out;
        if (out->size() + produced > limit) {
            return Result::Failure("gzip data unpacks to more than " + SizeText(limit));
        }
        out->insert(out->end(), chunk, chunk + produced);
        if (rc == Z_STREAM_END) {
            return {};
        }
        if (rc != Z_OK) {
            return Result::Failure(InflateFailure(rc, zs));
        }
    }
}

}  // namespace

Result ReadFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>* bytes)
{
    bytes->clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return Result::Failure(std::string("cannot open: ") + std::strerror(errno));
    }
    uint8_t chunk[65536];
    Result read;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got > 0 && bytes->size() + got > limit) {
            read = Result::Failure("file is larger than " + SizeText(limit));
            break;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            if (std::ferror(file) != 0) {
                read = Result::Failure(std::string("cannot read: ") + std::strerror(errno));
            }
            break;
        }
    }
    std::fclose(file);
    return read;
}

bool IsGzip(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

bool HasVgmIdent(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "Vgm ", 4) == 0;
}

Result Gunzip(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out)
{
    out->clear();
    if (size > UINT_MAX) {
        return Result::Failure("gzip data too large");
    }
    z_stream zs{};
    // 16 + window bits: gzip wrapper only, with its header and CRC checked.
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
        return Result::Failure("cannot start the gzip decoder");
    }
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    const Result inflated = Inflate(zs, limit, out);
    inflateEnd(&zs);
    if (!inflated.Ok()) {
        out->clear();
    }
    return inflated;
}

Result PrepareInput(std::vector<uint8_t>* bytes, size_t limit, InputKind* kind)
{
    if (IsGzip(*bytes)) {
        std::vector<uint8_t> unpacked;
        const Result unpackedOk = Gunzip(bytes->data(), bytes->size(), limit, &unpacked);
        if (!unpackedOk.Ok()) {
            return unpackedOk;
        }
        if (!HasVgmIdent(unpacked)) {
            return Result::Failure("gzip data that is not a VGM file (no \"Vgm \" ident)");
        }
        bytes->swap(unpacked);
        *kind = InputKind::Vgm;
        return {};
    }
    *kind = HasVgmIdent(*bytes) ? InputKind::Vgm : InputKind::PortScript;
    return {};
}
