#include "platform/xbase/xbmemo.h"

#include <algorithm>
#include <vector>

#include "platform/xbase/xberror.h"

namespace xbase {

// FPT memo file (numbers big-endian):
//   header, 512 bytes:
//   offset size meaning
//   0      4    next free block
//   4      2    unused
//   6      2    block size in bytes (64 here; FoxPro 2 used 512 too)
//   8      504  unused (zero)
//   memo, starting on a block boundary (block n at n * block size):
//   0      4    type: 0 picture/binary, 1 text, 2 object
//   4      4    length of the data in bytes
//   8      len  data, padded to the next block boundary
// The record holds the starting block number: 10 ASCII digits (FoxPro 2) or
// a 4-byte little-endian integer (Visual FoxPro).

namespace {

constexpr std::uint64_t kMemoLock = 0x7FFFFFF1;

std::uint32_t Be32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
void PutBe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

} // namespace

void MemoFile::Open(const std::string& path, bool writable) {
    file_.Open(path, writable);
    cache_.Invalidate();
    if (file_.Size() < 512)
        ThrowCorrupt(path, "memo header", "file is shorter than a memo header");
    unsigned char h[8];
    file_.ReadAt(0, h, 8, "memo header");
    blockSize_ = (h[6] << 8) | h[7];
    if (blockSize_ == 0)
        ThrowCorrupt(path, "memo header", "block size is 0");
}

void MemoFile::Create(const std::string& path, int blockSize) {
    if (blockSize < 32 || blockSize > 16384)
        blockSize = 64;
    std::vector<unsigned char> h(512, 0);
    PutBe32(h.data(), static_cast<std::uint32_t>((512 + blockSize - 1) / blockSize));
    h[6] = static_cast<unsigned char>(blockSize >> 8);
    h[7] = static_cast<unsigned char>(blockSize);
    File f;
    f.Create(path);
    f.WriteAt(0, h.data(), h.size());
}

void MemoFile::Read(std::uint32_t block, std::uint32_t& type, std::string& data) {
    data.clear();
    type = kMemoText;
    if (block == 0)
        return;
    std::string where = "memo block " + std::to_string(block);
    std::uint64_t at = static_cast<std::uint64_t>(block) * blockSize_;
    std::uint64_t size = file_.Size();
    if (at < 512 || at + 8 > size)
        ThrowCorrupt(file_.Path(), where, "block lies outside the memo file");
    unsigned char h[8];
    cache_.Read(at, h, 8, where.c_str());
    type = Be32(h);
    std::uint32_t len = Be32(h + 4);
    if (at + 8 + len > size)
        ThrowCorrupt(file_.Path(), where, "memo length runs past the end of the file");
    data.resize(len);
    if (len)
        cache_.Read(at + 8, data.data(), len, where.c_str());
}

std::uint32_t MemoFile::Write(std::uint32_t oldBlock, std::uint32_t type, const std::string& data,
                              bool shared, int lockTimeoutMs) {
    if (data.empty())
        return 0; // an empty memo keeps no blocks
    auto blocksFor = [this](std::uint64_t bytes) {
        return static_cast<std::uint32_t>((bytes + 8 + blockSize_ - 1) / blockSize_);
    };
    if (data.size() > 0x7FFFFFF0u)
        throw Error(XB_ERR_RANGE, "Memo too long");
    std::string block(8, '\0');
    PutBe32(reinterpret_cast<unsigned char*>(block.data()), type);
    PutBe32(reinterpret_cast<unsigned char*>(block.data()) + 4,
            static_cast<std::uint32_t>(data.size()));
    block += data;
    // In place when the new contents fit the blocks the old ones took, and
    // nobody else reads the file: another user may be reading the old text
    // right now (a memo has no lock of its own), so a shared table gets new
    // blocks, which the record points to once it is written.
    if (oldBlock != 0 && !shared) {
        std::uint64_t at = static_cast<std::uint64_t>(oldBlock) * blockSize_;
        if (at >= 512 && at + 8 <= file_.Size()) {
            unsigned char h[8];
            cache_.Read(at, h, 8, "memo block");
            std::uint32_t oldLen = Be32(h + 4);
            if (at + 8 + oldLen <= file_.Size() && blocksFor(data.size()) <= blocksFor(oldLen)) {
                cache_.Write(at, block.data(), block.size());
                return oldBlock;
            }
        }
    }
    if (shared && !file_.Lock(kMemoLock, 1, LockKind::Write, lockTimeoutMs))
        throw Error(XB_ERR_LOCKED, "Memo file is locked: " + file_.Path());
    std::uint32_t next = 0;
    try {
        unsigned char h[4];
        file_.ReadAt(0, h, 4, "memo header"); // not cached: other users append too
        next = Be32(h);
        std::uint32_t first = static_cast<std::uint32_t>((512 + blockSize_ - 1) / blockSize_);
        std::uint64_t endBlocks = (file_.Size() + blockSize_ - 1) / blockSize_;
        if (next < first || next < endBlocks)
            next = static_cast<std::uint32_t>(std::max<std::uint64_t>(first, endBlocks));
        std::uint32_t used = blocksFor(data.size());
        block.resize(static_cast<std::size_t>(used) * blockSize_, '\0');
        cache_.Write(static_cast<std::uint64_t>(next) * blockSize_, block.data(), block.size());
        PutBe32(h, next + used);
        cache_.Write(0, h, 4);
    } catch (...) {
        if (shared)
            file_.Unlock(kMemoLock, 1);
        throw;
    }
    if (shared)
        file_.Unlock(kMemoLock, 1);
    return next;
}

void MemoFile::Reset() {
    std::uint32_t first = static_cast<std::uint32_t>((512 + blockSize_ - 1) / blockSize_);
    unsigned char h[4];
    PutBe32(h, first);
    cache_.Write(0, h, 4);
    file_.Truncate(static_cast<std::uint64_t>(first) * blockSize_);
    cache_.Invalidate();
}

} // namespace xbase
