#pragma once
// Block cache between the file layer and the record and memo layers. Pages
// of 4 KiB are kept until Invalidate(); writes go through to the file and
// update cached pages. Shared opens invalidate whenever another user may
// have written (see WorkArea::Revalidate). Invalidating costs nothing: the
// pages kept are marked old and their memory is used again.
//
// The pages of all caches of a process share one budget: a program with
// many tables open keeps what it reads most, not 16 MB a table. A cache
// past the budget makes room among its own pages, the least recently used
// first; each may keep a few pages whatever the others hold.
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/xbase/xbfile.h"

namespace xbase {

class BlockCache {
public:
    static constexpr std::size_t kPage = 4096;
    static constexpr std::size_t kDefaultBudget = 4096; // pages of a process: 16 MB
    // Misses that keep coming right after the last page read (a walk through
    // rows that lie close together, as an account's rows among others') bring
    // the pages after them in one read: rows are read in blocks, not one
    // system call a row. Rows further apart, or close only now and then, are
    // read a page at a time: a block would bring mostly rows nobody asked
    // for, and push out pages that are asked for again.
    static constexpr std::size_t kReadAhead = 16;
    static constexpr std::size_t kNear = 2; // pages after the last read
    static constexpr int kNearInARow = 4;   // misses near each other before a block
    static constexpr std::size_t kOwnPages = 2 * kReadAhead; // kept whatever the budget

    explicit BlockCache(File& file) : file_(file) {}
    ~BlockCache();
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    // Exactly n bytes at offset (corrupt-file error naming `what` when short).
    void Read(std::uint64_t offset, void* buf, std::size_t n, const char* what);
    // The same, read from the file whatever is kept (the pages kept take
    // the bytes read): what another program wrote without telling anyone.
    void ReadFresh(std::uint64_t offset, void* buf, std::size_t n, const char* what);
    void Write(std::uint64_t offset, const void* buf, std::size_t n);
    void Invalidate() { ++generation_; }
    // Drops pages at or after offset (after a truncation).
    void DropFrom(std::uint64_t offset);

    // Pages all caches of this process may keep together (tests make it small).
    static void SetBudget(std::size_t pages);
    [[nodiscard]] static std::size_t PagesInUse();

private:
    struct Page {
        std::uint64_t generation = 0;
        std::size_t valid = 0; // bytes of the page present in the file
        char bytes[kPage];
    };
    struct Slot_ {
        std::unique_ptr<Page> page;
        std::list<std::uint64_t>::iterator use; // place in use_
    };
    // The page as the file holds it now (read when missing or old).
    const Page& Get(std::uint64_t pageNo, bool reread);
    // A cached page of the current generation, or null; counts as a use.
    Page* Current(std::uint64_t pageNo);
    // The page's entry, made (or taken from the least recently used page)
    // when missing, and now the most recently used; not valid until filled.
    Page& Slot(std::uint64_t pageNo);
    // Bytes read from the file into the current pages that hold them.
    void Update(std::uint64_t offset, const char* in, std::size_t n);

    File& file_;
    std::uint64_t generation_ = 1;
    std::unordered_map<std::uint64_t, Slot_> pages_;
    std::list<std::uint64_t> use_;   // page numbers, least recently used first
    std::uint64_t lastMiss_ = ~0ULL; // the last page read from the file
    int nearInARow_ = 0;             // misses near each other, in a row
    std::string ahead_;              // the read of a run of pages
};

} // namespace xbase
