#include "platform/xbase/xbcache.h"

#include <algorithm>
#include <cstring>

namespace xbase {

BlockCache::Page* BlockCache::Current(std::uint64_t pageNo) {
    auto it = pages_.find(pageNo);
    return it != pages_.end() && it->second->generation == generation_ ? it->second.get() : nullptr;
}

BlockCache::Page& BlockCache::Slot(std::uint64_t pageNo) {
    auto it = pages_.find(pageNo);
    if (it != pages_.end())
        return *it->second;
    std::unique_ptr<Page> fresh;
    // The oldest page makes room; its memory is used for this one.
    while (pages_.size() >= kMaxPages && !order_.empty()) {
        auto old = pages_.find(order_.front());
        order_.pop_front();
        if (old != pages_.end()) {
            fresh = std::move(old->second);
            pages_.erase(old);
        }
    }
    if (!fresh)
        fresh = std::make_unique<Page>();
    Page* page = fresh.get();
    page->generation = 0;
    pages_.emplace(pageNo, std::move(fresh));
    order_.push_back(pageNo);
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
        page->generation = 0; // not valid until read whole
        page->valid = file_.ReadSome(pageNo * kPage, page->bytes, kPage);
        page->generation = generation_;
        lastMiss_ = pageNo;
        return *page;
    }
    // One read for this page and the ones after it; pages kept and current
    // stay as they are (the file holds the same bytes for them).
    ahead_.resize(kPage * kReadAhead);
    const std::size_t got = file_.ReadSome(pageNo * kPage, ahead_.data(), ahead_.size());
    lastMiss_ = pageNo + kReadAhead - 1;
    Page* first = nullptr;
    for (std::size_t i = 0; i < kReadAhead; ++i) {
        const std::size_t from = i * kPage;
        if (i > 0 && from >= got)
            break;
        Page* p = i == 0 ? nullptr : Current(pageNo + i);
        if (!p) {
            p = &Slot(pageNo + i);
            p->generation = 0;
            p->valid = got > from ? std::min(kPage, got - from) : 0;
            std::memcpy(p->bytes, ahead_.data() + from, p->valid);
            p->generation = generation_;
        }
        if (i == 0)
            first = p;
    }
    return *first;
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

void BlockCache::Write(std::uint64_t offset, const void* buf, std::size_t n) {
    try {
        file_.WriteAt(offset, buf, n);
    } catch (...) {
        Invalidate(); // the file's state is unknown now
        throw;
    }
    const auto* in = static_cast<const char*>(buf);
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

void BlockCache::DropFrom(std::uint64_t offset) {
    std::uint64_t first = offset / kPage;
    for (auto& [pageNo, page] : pages_)
        if (pageNo >= first)
            page->generation = 0;
}

} // namespace xbase
