// Walks backwards and seeks to the end of a range: the same entries as a
// model of the tag, for the work of a seek and a leaf at a time.
#include "platform/xbase/cdx/cdx.h"
#include "platform/xbase/cdx/tagkeys.h"
#include "platform/xbase/cdx/tests/helpers.h"
#include "platform/xbase/expr/tests/test_record.h"

#include <algorithm>
#include <random>

using namespace xbase::cdx;
using namespace xbase::cdx::testing;
using xbase::expr::testing::TestRecord;

namespace {

class Walks : public ::testing::Test {
protected:
    void SetUp() override {
        TestRecord schema;
        schema.Add("LINK_ID", 'C', 20, "");
        bag_ = Bag::Create(dir_.File("walk.cdx"));
        tag_ = &bag_->CreateTag(TagKeys::Define("LINK_ID", "LINK_ID", "", false, false, schema));
        // Accounts "A000".."A399" with a few rows each (some none), and
        // bytes 0xFF at the end of a key, which carry over in a seek.
        std::mt19937 rng(99);
        std::uint32_t recno = 0;
        for (int a = 0; a < 400; ++a) {
            char id[8];
            std::snprintf(id, sizeof id, "A%03d", a);
            for (unsigned n = rng() % 12; n > 0; --n)
                Add(id, ++recno);
        }
        Add("A1\xFF\xFF", ++recno);
        Add("\xFF\xFF", ++recno);
        bag_->KeepPages(true); // as a shared open of the engine reads
        all_ = tag_->All();
    }
    void Add(std::string key, std::uint32_t recno) {
        key.resize(20, ' ');
        ASSERT_TRUE(tag_->Insert(key, recno));
    }
    // The model: the last entry whose key, cut to the search's length, is at
    // or before it.
    std::optional<Entry> LastUpTo(const std::string& search) const {
        std::optional<Entry> last;
        for (const Entry& e : all_)
            if (e.key.compare(0, search.size(), search) <= 0)
                last = e;
        return last;
    }

    ScratchDir dir_;
    std::unique_ptr<Bag> bag_;
    Tag* tag_ = nullptr;
    std::vector<Entry> all_;
};

TEST_F(Walks, BackwardsFromTheLastEntryGivesEveryEntryReadingALeafAtATime) {
    ASSERT_GT(all_.size(), 1500u);
    const std::uint64_t before = PageVisits();
    std::vector<Entry> back;
    for (auto e = tag_->Last(); e; e = tag_->Prior(*e))
        back.push_back(*e);
    const std::uint64_t visits = PageVisits() - before;
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, all_);
    // A leaf holds dozens of these keys; a descent from the root at every
    // step would look at several pages per entry.
    EXPECT_LT(visits, all_.size() / 4) << visits << " pages for " << all_.size() << " entries";
}

TEST_F(Walks, BackAndForthFromAnyEntryMatchesTheModel) {
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        const std::size_t at = rng() % all_.size();
        // Each step goes on from where the last one ended, in either direction.
        std::size_t pos = at;
        std::optional<Entry> e = all_[at];
        for (int step = 0; step < 40 && e; ++step) {
            const bool back = rng() % 3 != 0;
            e = back ? tag_->Prior(*e) : tag_->Next(*e);
            if (back && pos == 0) {
                EXPECT_FALSE(e);
                break;
            }
            if (!back && pos + 1 == all_.size()) {
                EXPECT_FALSE(e);
                break;
            }
            pos = back ? pos - 1 : pos + 1;
            ASSERT_TRUE(e);
            ASSERT_EQ(*e, all_[pos]) << "step " << step << " from entry " << at;
        }
    }
    // From positions that are no entry: between two accounts' keys.
    EXPECT_EQ(tag_->Prior({std::string("A050") + std::string(16, ' '), 0}),
              LastUpTo("A049" + std::string(16, ' ')));
}

TEST_F(Walks, SeekLastFindsTheEndOfARangeWithOneDescent) {
    const std::string blanks(20, ' ');
    for (std::string search :
         {std::string("A000"), std::string("A123"), std::string("A399"), std::string("A1"),
          std::string("A"), std::string("B"), std::string(" "), std::string("A0505"),
          std::string("A1\xFF"), std::string("\xFF"), std::string("\xFF\xFF\xFF"), std::string(),
          "A200" + blanks, "A200" + blanks + "longer than the key"}) {
        const std::uint64_t before = PageVisits();
        const std::optional<Entry> got = tag_->SeekLast(search);
        const std::uint64_t visits = PageVisits() - before;
        EXPECT_EQ(got, LastUpTo(search.substr(0, 20))) << "search \"" << search << "\"";
        EXPECT_LE(visits, 8u) << "search \"" << search << "\"";
        // The walk goes on backwards from there.
        if (got) {
            const auto at = std::find(all_.begin(), all_.end(), *got);
            ASSERT_NE(at, all_.end());
            const std::optional<Entry> prior = tag_->Prior(*got);
            if (at == all_.begin())
                EXPECT_FALSE(prior);
            else
                EXPECT_EQ(prior, *(at - 1));
        }
    }
}

} // namespace
