// The block cache hands back the bytes the file holds: whatever it evicts or
// reads ahead, and after other writers have made the pages it keeps stale.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "platform/xbase/tests/xbtest_util.h"
#include "platform/xbase/xbcache.h"
#include "platform/xbase/xbfile.h"

namespace {

using namespace xbtest;
using xbase::BlockCache;

constexpr std::size_t kPage = BlockCache::kPage;

// Each page of the file full of one byte that names it (and a version).
std::string PageBytes(std::uint64_t page, int version) {
    return std::string(kPage, static_cast<char>('A' + (page * 7 + version) % 50));
}

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("pages.bin");
        xbase::File out;
        out.Create(path_);
        for (std::uint64_t p = 0; p < kPages; ++p)
            out.WriteAt(p * kPage, PageBytes(p, 0).data(), kPage);
        file_.Open(path_, true);
    }
    void TearDown() override { BlockCache::SetBudget(BlockCache::kDefaultBudget); }

    // Another program writes a page: the cache is not told.
    void WriteOutside(std::uint64_t page, int version) {
        xbase::File other;
        other.Open(path_, true);
        other.WriteAt(page * kPage, PageBytes(page, version).data(), kPage);
    }

    std::string ReadPage(BlockCache& cache, std::uint64_t page) {
        std::string got(kPage, '\0');
        cache.Read(page * kPage, got.data(), kPage, "page");
        return got;
    }

    static constexpr std::uint64_t kPages = 200;
    TempDir dir_;
    std::string path_;
    xbase::File file_;
};

// The page asked for when the cache is full and what it keeps is stale: the
// read-ahead that brings the pages after it must not give its memory to one
// of them.
TEST_F(CacheTest, APageReadAheadIntoAFullStaleCacheIsThePageAskedFor) {
    BlockCache::SetBudget(20);
    BlockCache cache(file_);
    // Page 10 is read first, so it is the oldest; 6 to 9 next, then others
    // up to the budget, too far apart to be read ahead.
    std::vector<std::uint64_t> order{10, 6, 7, 8, 9};
    for (std::uint64_t p = 30; order.size() < 20; p += BlockCache::kNear + 1)
        order.push_back(p);
    for (std::uint64_t p : order)
        ASSERT_EQ(ReadPage(cache, p), PageBytes(p, 0));
    // Another program's change makes every page kept stale.
    for (std::uint64_t p = 0; p < kPages; ++p)
        WriteOutside(p, 1);
    cache.Invalidate();
    // Misses close together, then page 10: read with the pages after it.
    for (std::uint64_t p : {6, 7, 8, 9, 10})
        EXPECT_EQ(ReadPage(cache, p), PageBytes(p, 1)) << "page " << p;
    for (std::uint64_t p = 11; p < 26; ++p)
        EXPECT_EQ(ReadPage(cache, p), PageBytes(p, 1)) << "page " << p;
}

// Reads of every length at random places, with other writers and this
// cache's own writes between them, against what the file holds; several
// caches share one small budget.
TEST_F(CacheTest, EveryReadIsWhatTheFileHoldsUnderASmallSharedBudget) {
    std::vector<int> version(kPages, 0);
    for (std::size_t budget : {1u, 5u, 17u, 40u}) {
        SCOPED_TRACE(budget);
        BlockCache::SetBudget(budget);
        const std::size_t before = BlockCache::PagesInUse(); // other tables' pages
        xbase::File second;
        second.Open(path_, true);
        BlockCache a(file_), b(second);
        std::mt19937 rng(static_cast<unsigned>(budget));
        for (int step = 0; step < 4000; ++step) {
            const int what = static_cast<int>(rng() % 100);
            BlockCache& cache = rng() % 2 ? a : b;
            if (what < 5) {
                const std::uint64_t page = rng() % kPages;
                WriteOutside(page, ++version[page]);
                a.Invalidate(); // as a changed stamp does
                b.Invalidate();
            } else if (what < 10) {
                const std::uint64_t page = rng() % kPages;
                const std::string bytes = PageBytes(page, ++version[page]);
                cache.Write(page * kPage, bytes.data(), kPage);
                (&cache == &a ? b : a).Invalidate();
            } else {
                // Runs of pages in a row bring read-ahead into play.
                const std::uint64_t first = what < 60 ? rng() % kPages : (step * 3) % kPages;
                const std::size_t offset = rng() % kPage;
                const std::size_t length = std::min<std::size_t>(1 + rng() % (3 * kPage),
                                                                 (kPages - first) * kPage - offset);
                std::string got(length, '\0');
                cache.Read(first * kPage + offset, got.data(), length, "bytes");
                std::string want;
                for (std::uint64_t p = first; p * kPage < first * kPage + offset + length; ++p)
                    want += PageBytes(p, version[p]);
                ASSERT_EQ(got, want.substr(offset, length)) << "step " << step;
            }
            // Past the budget only by the few pages each cache may keep.
            ASSERT_LE(BlockCache::PagesInUse() - before,
                      budget + std::min(budget, BlockCache::kOwnPages));
        }
    }
}

// A read that must show what another program wrote in place, unannounced.
TEST_F(CacheTest, AFreshReadShowsAnUnannouncedWriteAndTheCacheKeepsIt) {
    BlockCache cache(file_);
    ASSERT_EQ(ReadPage(cache, 3), PageBytes(3, 0));
    WriteOutside(3, 1);
    EXPECT_EQ(ReadPage(cache, 3), PageBytes(3, 0)); // kept: nobody said it changed
    std::string fresh(kPage, '\0');
    cache.ReadFresh(3 * kPage, fresh.data(), kPage, "page");
    EXPECT_EQ(fresh, PageBytes(3, 1));
    EXPECT_EQ(ReadPage(cache, 3), PageBytes(3, 1));
}

} // namespace
