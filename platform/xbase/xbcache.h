#pragma once
// Block cache between the file layer and the record and memo layers. Pages
// of 4 KiB are kept until Invalidate(); writes go through to the file and
// update cached pages. Shared opens invalidate before each operation that
// relies on what other users may have written.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/xbase/xbfile.h"

namespace xbase {

class BlockCache {
public:
    static constexpr std::size_t kPage = 4096;
    static constexpr std::size_t kMaxPages = 512;

    explicit BlockCache(File& file) : file_(file) {}

    // Exactly n bytes at offset (corrupt-file error naming `what` when short).
    void Read(std::uint64_t offset, void* buf, std::size_t n, const char* what);
    void Write(std::uint64_t offset, const void* buf, std::size_t n);
    void Invalidate() { pages_.clear(); }
    // Drops pages at or after offset (after a truncation).
    void DropFrom(std::uint64_t offset);

private:
    struct Page {
        std::size_t valid = 0; // bytes of the page present in the file
        char bytes[kPage];
    };
    const Page& Get(std::uint64_t pageNo);

    File& file_;
    std::unordered_map<std::uint64_t, std::unique_ptr<Page>> pages_;
};

} // namespace xbase
