// Walks within a scope, both ways, on ascending and descending tags, against
// a brute-force model of the same rows: every record's key in record order,
// sorted. An empty scope, or one at the end of the file, costs a seek to its
// bound, not a walk through every key after it. The FoxPro tables from
// outside walk as the model of their own rows says too.
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "platform/xbase/tests/xbtest_util.h"
#include "platform/xbase/xbfile.h"

#ifdef XBASE_HAS_INDEXES
#include "platform/xbase/cdx/cdx.h"

namespace {

using namespace xbtest;

struct Row {
    std::string key;
    int recno = 0;
    bool deleted = false;
};

// The rows the current order shows under the scope, in its order.
std::vector<int> Model(std::vector<Row> rows, const std::string& low, const std::string& high,
                       bool descending, bool hideDeleted) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.key != b.key ? a.key < b.key : a.recno < b.recno;
    });
    if (descending)
        std::reverse(rows.begin(), rows.end());
    std::vector<int> out;
    for (const Row& r : rows)
        if ((low.empty() || r.key.compare(0, low.size(), low) >= 0) &&
            (high.empty() || r.key.compare(0, high.size(), high) <= 0) &&
            !(hideDeleted && r.deleted))
            out.push_back(r.recno);
    return out;
}

std::vector<int> Forward() {
    std::vector<int> out;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        out.push_back(xb_RecNo());
    return out;
}

std::vector<int> Backward() {
    std::vector<int> out;
    for (xb_GoBottom(); !xb_Bof() && !xb_Eof(); xb_Skip(-1))
        out.push_back(xb_RecNo());
    std::reverse(out.begin(), out.end());
    return out;
}

// Off the end, then back: the step back from the end of file.
std::vector<int> BackFromEnd() {
    std::vector<int> out;
    xb_GoBottom();
    xb_Skip(1);
    EXPECT_TRUE(xb_Eof());
    for (xb_Skip(-1); !xb_Bof() && !xb_Eof(); xb_Skip(-1))
        out.push_back(xb_RecNo());
    std::reverse(out.begin(), out.end());
    return out;
}

// Every walk of the current order and scope gives the model's rows.
void ExpectWalks(const std::vector<int>& model, const std::string& what) {
    EXPECT_EQ(Forward(), model) << what;
    EXPECT_EQ(Backward(), model) << what;
    EXPECT_EQ(BackFromEnd(), model) << what;
    EXPECT_EQ(xb_Count(), static_cast<int>(model.size())) << what;
    // Before the first row: BOF, standing on the first row (none: end of file).
    xb_GoTop();
    xb_Skip(-1);
    EXPECT_TRUE(xb_Bof()) << what;
    if (model.empty())
        EXPECT_TRUE(xb_Eof()) << what;
    else
        EXPECT_EQ(xb_RecNo(), model.front()) << what;
    // Two steps at once, both ways.
    if (model.size() >= 3) {
        xb_GoTop();
        xb_Skip(2);
        EXPECT_EQ(xb_RecNo(), model[2]) << what;
        xb_Skip(-2);
        EXPECT_EQ(xb_RecNo(), model[0]) << what;
    }
}

class ScopeWalks : public ::testing::Test {
protected:
    void SetUp() override {
        const XbFieldDef fields[] = {Def("LINK_ID", 'C', 20), Def("SUBJECT", 'C', 30)};
        path_ = dir_.File("walks.dbf");
        ASSERT_EQ(xb_Create(path_.c_str(), fields, 2), 1) << ErrorText();
        ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
        ASSERT_EQ(xb_IndexTag("", "LINK_ID", "LINK_ID", 0, 0, ""), 1) << ErrorText();
        ASSERT_EQ(xb_IndexTag("", "LINK_DESC", "LINK_ID", 0, 1, ""), 2) << ErrorText();
        xb_Close();
        ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    }
    void Add(const std::string& key, bool deleted) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
        ASSERT_TRUE(Put("LINK_ID", key));
        ASSERT_EQ(xb_Commit(), 1) << ErrorText();
        ASSERT_EQ(xb_Unlock(0), 1);
        Row r{key, xb_RecNo(), deleted};
        r.key.resize(20, ' ');
        if (deleted) {
            ASSERT_EQ(xb_Delete(), 1);
            ASSERT_EQ(xb_Commit(), 1);
        }
        rows_.push_back(r);
    }

    EngineReset reset_;
    TempDir dir_;
    std::string path_;
    std::vector<Row> rows_;
};

TEST_F(ScopeWalks, EveryWalkInEveryScopeGivesTheModelsRows) {
    // Accounts B00..B59, some without rows, interleaved as mail arrives;
    // every fifth row deleted.
    std::mt19937 rng(31);
    for (int i = 0; i < 700; ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "B%02u", static_cast<unsigned>(rng() % 60) / 3 * 3);
        Add(key, i % 5 == 0);
    }
    const std::pair<std::string, std::string> scopes[] = {
        {"B03", "B03"}, // one account's rows
        {"B04", "B04"}, // an account without rows, between two with rows
        {"A", "A"},     // empty, before every key
        {"C", "C"},     // empty, after every key
        {"B10", "B20"}, // several accounts
        {"B1", "B1"},   // by a shorter prefix
        {"B57", "B57"}, // the last account
        {"B00", "B00"}, // the first account
        {"B20", "B10"}, // ends the wrong way round: empty
        {"B3", ""},     // a low end only
        {"", "B05"},    // a high end only
        {"B06" + std::string(17, ' '), "B06" + std::string(17, ' ')}, // a whole key
    };
    for (const int hide : {0, 1}) {
        xb_SetDeleted(hide);
        for (const int order : {1, 2}) {
            xb_SetOrder(order);
            ExpectWalks(Model(rows_, "", "", order == 2, hide), "no scope");
            for (const auto& [low, high] : scopes) {
                xb_SetScope(low.empty() ? nullptr : low.c_str(),
                            high.empty() ? nullptr : high.c_str());
                ExpectWalks(Model(rows_, low, high, order == 2, hide),
                            "order " + std::to_string(order) + " scope [" + low + "," + high +
                                "] deleted hidden " + std::to_string(hide));
            }
            xb_SetScope(nullptr, nullptr);
        }
    }
}

// An account without rows whose key sorts before every other: reaching the
// beginning, the end and the step back from the end of its empty range looks
// at a few index pages, not at the keys of every other account.
TEST_F(ScopeWalks, AnEmptyScopeCostsASeekNotTheKeysAfterIt) {
    for (int i = 0; i < 3000; ++i)
        Add("C" + std::to_string(i % 97), false);
    for (const int order : {1, 2}) {
        xb_SetOrder(order);
        // Before every key for the ascending tag, after every key for the
        // descending one: the far side of the tag from where a walk starts.
        const char* empty = order == 1 ? "A0000" : "D0000";
        xb_SetScope(empty, empty);
        const std::uint64_t before = xbase::cdx::PageVisits();
        xb_GoTop();
        EXPECT_TRUE(xb_Eof());
        xb_Skip(-1);
        EXPECT_TRUE(xb_Bof());
        EXPECT_TRUE(xb_Eof());
        xb_GoBottom();
        EXPECT_TRUE(xb_Eof());
        xb_Skip(-1);
        EXPECT_TRUE(xb_Eof());
        EXPECT_EQ(xb_Count(), 0);
        const std::uint64_t visits = xbase::cdx::PageVisits() - before;
        EXPECT_LT(visits, 60u) << "order " << order;
    }
}

// Looking again at a scope found empty reads nothing while the table stays
// as it was; a row another user adds to it, a deleted row shown again and
// another filter are seen at once.
TEST_F(ScopeWalks, AnEmptyScopeLookedAtAgainReadsNothingUntilTheTableChanges) {
    for (int i = 0; i < 500; ++i)
        Add("C" + std::to_string(i % 50), false);
    const int mine = xb_WorkArea(nullptr);
    xb_SetOrder(1);
    xb_SetScope("B5", "B5");
    xb_GoTop();
    ASSERT_TRUE(xb_Eof());
    const std::uint64_t before = xbase::cdx::PageVisits();
    for (int i = 0; i < 3; ++i) {
        xb_GoTop();
        EXPECT_TRUE(xb_Eof() && xb_Bof());
        xb_Skip(-1);
        EXPECT_TRUE(xb_Eof() && xb_Bof());
        xb_GoBottom();
        EXPECT_TRUE(xb_Eof());
    }
    EXPECT_EQ(xbase::cdx::PageVisits() - before, 0u);

    // Another user (a second open) adds a row to the scope.
    const int other = xb_Use(path_.c_str(), "OTHER", XB_SHARED, 2);
    ASSERT_NE(other, 0) << ErrorText();
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    ASSERT_TRUE(Put("LINK_ID", "B5"));
    ASSERT_TRUE(Put("SUBJECT", "x"));
    ASSERT_EQ(xb_Commit(), 1);
    ASSERT_EQ(xb_Unlock(0), 1);
    const int added = xb_RecNo();
    xb_Select(mine);
    xb_GoTop();
    ASSERT_FALSE(xb_Eof());
    EXPECT_EQ(xb_RecNo(), added);
    xb_GoBottom();
    EXPECT_EQ(xb_RecNo(), added);

    // Deleted by the other user: hidden, then shown again.
    xb_SetDeleted(1);
    xb_Select(other);
    xb_Go(added);
    ASSERT_EQ(xb_Delete(), 1);
    ASSERT_EQ(xb_Commit(), 1);
    xb_Select(mine);
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    xb_SetDeleted(0);
    xb_GoTop();
    EXPECT_EQ(xb_RecNo(), added);

    // A filter that hides it, then none.
    xb_Query("SUBJECT = 'y'");
    xb_GoBottom();
    EXPECT_TRUE(xb_Eof());
    xb_Query("");
    xb_GoBottom();
    EXPECT_EQ(xb_RecNo(), added);

    // Another empty scope, then one with rows.
    xb_SetScope("B6", "B6");
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    xb_SetScope("C1", "C1");
    xb_GoTop();
    EXPECT_FALSE(xb_Eof());
    EXPECT_EQ(Trim("LINK_ID"), "C1");
}

// One account's rows lie among everyone's, a few to a page: a walk over
// them reads the table in blocks, not a page at a time.
TEST_F(ScopeWalks, AnAccountsRowsAreReadInBlocks) {
    xb_CloseAll();
    const XbFieldDef fields[] = {Def("LINK_ID", 'C', 20), Def("SUBJECT", 'C', 250)};
    const std::string p = dir_.File("wide.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1) << ErrorText();
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    ASSERT_EQ(xb_IndexTag("", "LINK_ID", "LINK_ID", 0, 0, ""), 1) << ErrorText();
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        ASSERT_TRUE(Put("LINK_ID", i % 10 == 0 ? "OWN" : "OTHER" + std::to_string(i % 7)));
        ASSERT_EQ(xb_Commit(), 1);
    }
    xb_Close();
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    xb_SetOrder(1);
    xb_SetScope("OWN", "OWN");
    const std::uint64_t before = xbase::FileReads();
    std::vector<int> rows;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        rows.push_back(xb_RecNo());
    const std::uint64_t reads = xbase::FileReads() - before;
    ASSERT_EQ(rows.size(), 300u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i], static_cast<int>(10 * i + 1));
    // 300 rows of 271 bytes, ten apart: about 200 pages of 4 KiB.
    EXPECT_LT(reads, 60u);
}

// Tables FoxPro wrote: each character tag walks, within scopes made of its
// own keys, as the model made from its rows' keys in record order says.
TEST(OutsideScopeWalks, FoxproTagsWalkAsTheirRowsKeysSay) {
    EngineReset reset;
    TempDir dir;
    struct Table {
        const char* folder;
        const char* file;
    };
    int tagsWalked = 0;
    for (const Table& t :
         {Table{"infused-dbf/foxprodb", "calls.dbf"}, Table{"infused-dbf/foxprodb", "contacts.dbf"},
          Table{"infused-dbf/foxprodb", "setup.dbf"}, Table{"infused-dbf/foxprodb", "types.dbf"},
          Table{"go-dbase", "employees.dbf"}}) {
        CopyShared(t.folder, dir);
        const std::string path = dir.File(t.file);
        ASSERT_NE(xb_Use(path.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        for (int order = 1; order <= xb_SysProp(XB_PROP_INDEX_COUNT, 0); ++order) {
            char expr[256] = {}, cond[256] = {};
            xb_SetOrder(0);
            xb_IndexKey(order, expr, sizeof expr);
            xb_IndexCondition(order, cond, sizeof cond);
            // Character keys without a FOR condition: their rows' keys alone
            // make the model.
            if (cond[0] != '\0' || xb_EvalTest(expr) != XB_EVAL_CHARACTER)
                continue;
            if (xb_SetOrder(order) < 0)
                continue;
            std::vector<Row> rows;
            for (int r = 1; r <= xb_RecCount(); ++r) {
                xb_Go(r);
                char key[512] = {};
                xb_KeyData(key, sizeof key);
                rows.push_back({key, r, xb_Deleted() != 0});
            }
            const bool desc = xb_SysProp(XB_PROP_DESCENDING, order) >= 1;
            const std::string what = std::string(t.file) + " tag " + expr;
            ExpectWalks(Model(rows, "", "", desc, false), what);
            for (const Row& r : rows) {
                for (const std::string& scope : {r.key, r.key.substr(0, 1), r.key + "~"}) {
                    if (scope.find_first_of("\"'") != std::string::npos)
                        continue;
                    xb_SetScope(scope.c_str(), scope.c_str());
                    // A scope longer than the key is cut to it.
                    const std::string cut = scope.substr(0, r.key.size());
                    ExpectWalks(Model(rows, cut, cut, desc, false),
                                what + " scope \"" + scope + "\"");
                }
            }
            xb_SetScope(nullptr, nullptr);
            ++tagsWalked;
        }
        xb_CloseAll();
    }
    EXPECT_GT(tagsWalked, 3);
}

} // namespace

#endif
