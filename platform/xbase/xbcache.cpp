#include "platform/xbase/xbcache.h"

#include <algorithm>
#include <cstring>

namespace xbase {

const BlockCache::Page& BlockCache::Get(std::uint64_t pageNo) {
    auto it = pages_.find(pageNo);
    if (it != pages_.end())
        return *it->second;
    if (pages_.size() >= kMaxPages)
        pages_.clear(); // simple and bounded; sequential scans refill quickly
    auto page = std::make_unique<Page>();
    page->valid = file_.ReadSome(pageNo * kPage, page->bytes, kPage);
    return *(pages_[pageNo] = std::move(page));
}

void BlockCache::Read(std::uint64_t offset, void* buf, std::size_t n, const char* what) {
    auto* out = static_cast<char*>(buf);
    while (n > 0) {
        std::uint64_t pageNo = offset / kPage;
        std::size_t in = static_cast<std::size_t>(offset % kPage);
        std::size_t take = std::min(n, kPage - in);
        const Page& p = Get(pageNo);
        if (p.valid < in + take) {
            // Past what we saw: the file may have grown since (another user).
            pages_.erase(pageNo);
            const Page& q = Get(pageNo);
            if (q.valid < in + take) {
                file_.ReadAt(offset, out, take, what); // reports the short read
                return;
            }
            std::memcpy(out, q.bytes + in, take);
        } else {
            std::memcpy(out, p.bytes + in, take);
        }
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
        auto it = pages_.find(pageNo);
        if (it != pages_.end()) {
            Page& p = *it->second;
            if (at <= p.valid) {
                std::memcpy(p.bytes + at, in, take);
                p.valid = std::max(p.valid, at + take);
            } else {
                pages_.erase(it);
            }
        }
        in += take;
        offset += take;
        n -= take;
    }
}

void BlockCache::DropFrom(std::uint64_t offset) {
    std::uint64_t first = offset / kPage;
    for (auto it = pages_.begin(); it != pages_.end();)
        it = it->first >= first ? pages_.erase(it) : std::next(it);
}

} // namespace xbase
