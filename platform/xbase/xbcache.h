#pragma once
// Block cache between the file layer and the record and memo layers. Pages
// of 4 KiB are kept until Invalidate(); writes go through to the file and
// update cached pages. Shared opens invalidate whenever another user may
// have written (see WorkArea::Revalidate). Invalidating costs nothing: the
// pages kept are marked old and their memory is used again.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/xbase/xbfile.h"

namespace xbase {

class BlockCache {
public:
    static constexpr std::size_t kPage = 4096;
    static constexpr std::size_t kMaxPages = 4096; // 16 MB
    // Misses that keep coming right after the last page read (a walk through
    // rows that lie close together, as an account's rows among others') bring
    // the pages after them in one read: rows are read in blocks, not one
    // system call a row. Rows further apart, or close only now and then, are
    // read a page at a time: a block would bring mostly rows nobody asked
    // for, and push out pages that are asked for again.
    static constexpr std::size_t kReadAhead = 16;
    static constexpr std::size_t kNear = 2; // pages after the last read
    static constexpr int kNearInARow = 4;   // misses near each other before a block

    explicit BlockCache(File& file) : file_(file) {}

    // Exactly n bytes at offset (corrupt-file error naming `what` when short).
    void Read(std::uint64_t offset, void* buf, std::size_t n, const char* what);
    void Write(std::uint64_t offset, const void* buf, std::size_t n);
    void Invalidate() { ++generation_; }
    // Drops pages at or after offset (after a truncation).
    void DropFrom(std::uint64_t offset);

private:
    struct Page {
        std::uint64_t generation = 0;
        std::size_t valid = 0; // bytes of the page present in the file
        char bytes[kPage];
    };
    // The page as the file holds it now (read when missing or old).
    const Page& Get(std::uint64_t pageNo, bool reread);
    // A cached page of the current generation, or null.
    Page* Current(std::uint64_t pageNo);
    // The page's entry, made (or taken from the oldest page) when missing;
    // not valid until filled.
    Page& Slot(std::uint64_t pageNo);

    File& file_;
    std::uint64_t generation_ = 1;
    std::unordered_map<std::uint64_t, std::unique_ptr<Page>> pages_;
    std::deque<std::uint64_t> order_; // page numbers, oldest first, for eviction
    std::uint64_t lastMiss_ = ~0ULL;  // the last page read from the file
    int nearInARow_ = 0;              // misses near the one before, in a row
    std::string ahead_;               // the read of a run of pages
};

} // namespace xbase
