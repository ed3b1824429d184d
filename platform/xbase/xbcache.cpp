#include "platform/xbase/xbcache.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace xbase {

namespace {
std::atomic<std::size_t> g_budget{BlockCache::kDefaultBudget};
std::atomic<std::size_t> g_inUse{0};
} // namespace

void BlockCache::SetBudget(std::size_t pages) {
    g_budget = std::max<std::size_t>(pages, 1);
}

std::size_t BlockCache::PagesInUse() {
    return g_inUse;
}

BlockCache::~BlockCache() {
    g_inUse -= pages_.size();
}

BlockCache::Page* BlockCache::Current(std::uint64_t pageNo) {
    auto it = pages_.find(pageNo);
    if (it == pages_.end() || it->second.page->generation != generation_)
        return nullptr;
    use_.splice(use_.end(), use_, it->second.use);
    return it->second.page.get();
}

BlockCache::Page& BlockCache::Slot(std::uint64_t pageNo) {
    auto it = pages_.find(pageNo);
    if (it != pages_.end()) {
        use_.splice(use_.end(), use_, it->second.use);
        it->second.page->generation = 0;
        return *it->second.page;
    }
    // Room is made among this cache's own pages, the least recently used
    // first. The page being filled is the most recently used from now on,
    // so no later step of the same read can take its memory.
    const std::size_t budget = g_budget;
    const std::size_t own = std::min(kOwnPages, budget);
    std::unique_ptr<Page> fresh;
    if (!use_.empty() && (pages_.size() >= budget || (g_inUse >= budget && pages_.size() >= own))) {
        auto old = pages_.find(use_.front());
        fresh = std::move(old->second.page);
        use_.pop_front();
        pages_.erase(old);
        --g_inUse;
    }
    if (!fresh)
        fresh = std::make_unique<Page>();
    fresh->generation = 0;
    Page* page = fresh.get();
    use_.push_back(pageNo);
    pages_.emplace(pageNo, Slot_{std::move(fresh), std::prev(use_.end())});
    ++g_inUse;
    return *page;
}

const BlockCache::Page& BlockCache::Get(std::uint64_t pageNo, bool reread) {
    Page* page = Current(pageNo);
    if (page && !reread)
        return *page;
    const bool near = lastMiss_ != ~0ULL && pageNo > lastMiss_ && pageNo - lastMiss_ <= kNear;
    nearInARow_ = near ? nearInARow_ + 1 : 0;
    if (reread || nearInARow_ < kNearInARow) {
        page = &Slot(pageNo);
        page->valid = file_.ReadSome(pageNo * kPage, page->bytes, kPage);
        page->generation = generation_;
        lastMiss_ = pageNo;
        return *page;
    }
    // One read for this page and the ones after it; pages kept and current
    // stay as they are (the file holds the same bytes for them). The page
    // asked for is filled last: making room for the others cannot take it.
    ahead_.resize(kPage * kReadAhead);
    const std::size_t got = file_.ReadSome(pageNo * kPage, ahead_.data(), ahead_.size());
    lastMiss_ = pageNo + kReadAhead - 1;
    const auto fill = [&](Page& p, std::size_t from) {
        p.valid = got > from ? std::min(kPage, got - from) : 0;
        std::memcpy(p.bytes, ahead_.data() + from, p.valid);
        p.generation = generation_;
    };
    for (std::size_t i = 1; i < kReadAhead && i * kPage < got; ++i)
        if (!Current(pageNo + i))
            fill(Slot(pageNo + i), i * kPage);
    page = &Slot(pageNo);
    fill(*page, 0);
    return *page;
}

void BlockCache::Read(std::uint64_t offset, void* buf, std::size_t n, const char* what) {
    auto* out = static_cast<char*>(buf);
    while (n > 0) {
        std::uint64_t pageNo = offset / kPage;
        std::size_t in = static_cast<std::size_t>(offset % kPage);
        std::size_t take = std::min(n, kPage - in);
        const Page* p = &Get(pageNo, false);
        if (p->valid < in + take) {
            // Past what we saw: the file may have grown since (another user).
            p = &Get(pageNo, true);
            if (p->valid < in + take) {
                file_.ReadAt(offset, out, take, what); // reports the short read
                return;
            }
        }
        std::memcpy(out, p->bytes + in, take);
        out += take;
        offset += take;
        n -= take;
    }
}

void BlockCache::ReadFresh(std::uint64_t offset, void* buf, std::size_t n, const char* what) {
    file_.ReadAt(offset, buf, n, what);
    Update(offset, static_cast<const char*>(buf), n);
}

void BlockCache::Update(std::uint64_t offset, const char* in, std::size_t n) {
    while (n > 0) {
        std::uint64_t pageNo = offset / kPage;
        std::size_t at = static_cast<std::size_t>(offset % kPage);
        std::size_t take = std::min(n, kPage - at);
        if (Page* p = Current(pageNo)) {
            if (at <= p->valid) {
                std::memcpy(p->bytes + at, in, take);
                p->valid = std::max(p->valid, at + take);
            } else {
                p->generation = 0; // a gap before the new bytes: read it again
            }
        }
        in += take;
        offset += take;
        n -= take;
    }
}

void BlockCache::Write(std::uint64_t offset, const void* buf, std::size_t n) {
    try {
        file_.WriteAt(offset, buf, n);
    } catch (...) {
        Invalidate(); // the file's state is unknown now
        throw;
    }
    Update(offset, static_cast<const char*>(buf), n);
}

void BlockCache::DropFrom(std::uint64_t offset) {
    std::uint64_t first = offset / kPage;
    for (auto& [pageNo, slot] : pages_)
        if (pageNo >= first)
            slot.page->generation = 0;
}

} // namespace xbase
