#include "host/input_file.h"

#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

std::string SizeText(size_t bytes)
{
    return bytes >= (size_t{1} << 20) ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

}  // namespace

bool ReadFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>* bytes, std::string* error)
{
    bytes->clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    uint8_t chunk[65536];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got > 0) {
            if (bytes->size() + got > limit) {
                *error = "file is larger than " + SizeText(limit);
                ok = false;
                break;
            }
            bytes->insert(bytes->end(), chunk, chunk + got);
        }
        if (got < sizeof chunk) {
            if (std::ferror(file) != 0) {
                *error = std::string("cannot read: ") + std::strerror(errno);
                ok = false;
            }
            break;
        }
    }
    std::fclose(file);
    return ok;
}

bool IsGzip(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

bool HasVgmIdent(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "Vgm ", 4) == 0;
}

bool Gunzip(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out, std::string* error)
{
    out->clear();
    if (size > UINT_MAX) {
        *error = "gzip data too large";
        return false;
    }
    z_stream zs{};
    // 16 + window bits: gzip wrapper only, with its header and CRC checked.
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
        *error = "cannot start the gzip decoder";
        return false;
    }
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    uint8_t chunk[65536];
    bool ok = false;
    for (;;) {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const size_t produced = sizeof chunk - zs.avail_out;
        if (out->size() + produced > limit) {
            *error = "gzip data unpacks to more than " + SizeText(limit);
            break;
        }
        out->insert(out->end(), chunk, chunk + produced);
        if (rc == Z_STREAM_END) {
            ok = true;
            break;
        }
        if (rc == Z_OK) {
            continue;
        }
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            *error = "the gzip stream ends early (truncated file)";
        } else if (rc == Z_MEM_ERROR) {
            *error = "out of memory while unpacking gzip data";
        } else {
            *error = std::string("corrupt gzip data") + (zs.msg != nullptr ? std::string(": ") + zs.msg : "");
        }
        break;
    }
    inflateEnd(&zs);
    if (!ok) {
        out->clear();
    }
    return ok;
}

bool PrepareInput(std::vector<uint8_t>* bytes, size_t limit, InputKind* kind, std::string* error)
{
    if (IsGzip(*bytes)) {
        std::vector<uint8_t> unpacked;
        if (!Gunzip(bytes->data(), bytes->size(), limit, &unpacked, error)) {
            return false;
        }
        if (!HasVgmIdent(unpacked)) {
            *error = "gzip data that is not a VGM file (no \"Vgm \" ident)";
            return false;
        }
        bytes->swap(unpacked);
        *kind = InputKind::Vgm;
        return true;
    }
    *kind = HasVgmIdent(*bytes) ? InputKind::Vgm : InputKind::PortScript;
    return true;
}
