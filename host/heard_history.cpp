#include "host/heard_history.h"

#include <algorithm>

HeardHistory::HeardHistory(uint64_t maxFrames) : maxBlocks(std::max<uint64_t>(maxFrames / kBlockFrames, 2)) {}

void HeardHistory::Append(std::span<const PcmFrame> frames)
{
    while (!frames.empty()) {
        if (blocks.empty() || blocks.back().size() == kBlockFrames) {
            if (blocks.size() == maxBlocks) {
                blocks.pop_front();
                begin += kBlockFrames;
            }
            blocks.emplace_back();
            blocks.back().reserve(kBlockFrames);
        }
        std::vector<PcmFrame>& last = blocks.back();
        const size_t n = std::min<size_t>(frames.size(), kBlockFrames - last.size());
        last.insert(last.end(), frames.begin(), frames.begin() + static_cast<ptrdiff_t>(n));
        frames = frames.subspan(n);
        end += n;
    }
}

void HeardHistory::Clear(uint64_t from)
{
    blocks.clear();
    begin = from;
    end = from;
}

std::span<const PcmFrame> HeardHistory::Stretch(uint64_t from, uint64_t to) const
{
    if (from < begin || from >= std::min(to, end)) {
        return {};
    }
    const uint64_t offset = from - begin;
    const std::vector<PcmFrame>& block = blocks[static_cast<size_t>(offset / kBlockFrames)];
    const size_t at = static_cast<size_t>(offset % kBlockFrames);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(std::min(to, end) - from, block.size() - at));
    return std::span<const PcmFrame>(block).subspan(at, n);
}
