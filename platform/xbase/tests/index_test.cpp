// Index tags, orders, seeks, scopes, filters and expressions, checked
// against a model and against DBD::XBase's index_dump.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

#include "platform/xbase/tests/xbtest_util.h"

#ifdef XBASE_HAS_INDEXES

namespace {

using namespace xbtest;

// RECEIVED.DBF as the programs use it, with its three tags.
std::string MakeReceived(const TempDir& dir) {
    const XbFieldDef fields[] = {Def("MESSAGE_ID", 'C', 40), Def("LINK_ID", 'C', 20),
                                 Def("RECDATE", 'D', 8),     Def("STATUS", 'C', 5),
                                 Def("FROM", 'C', 40),       Def("SUBJECT", 'C', 80),
                                 Def("NOTES", 'M', 10)};
    std::string p = dir.File("received.dbf");
    EXPECT_EQ(xb_Create(p.c_str(), fields, 7), 1) << ErrorText();
    EXPECT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    EXPECT_EQ(xb_IndexTag("received", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 1) << ErrorText();
    EXPECT_EQ(xb_IndexTag("received", "LINK_ID", "LINK_ID", 0, 0, ""), 2) << ErrorText();
    EXPECT_EQ(xb_IndexTag("received", "FROM", "FROM", 0, 0, ""), 3) << ErrorText();
    xb_Close();
    return p;
}

void Add(const std::string& id, const std::string& link, const std::string& from = "x") {
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
    ASSERT_TRUE(Put("MESSAGE_ID", id));
    ASSERT_TRUE(Put("LINK_ID", link));
    ASSERT_TRUE(Put("FROM", from));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    ASSERT_EQ(xb_Unlock(0), 1);
}

// Record numbers in the current order.
std::string Walk() {
    std::string out;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        out += std::to_string(xb_RecNo()) + " ";
    return out;
}
std::string WalkBack() {
    std::string out;
    for (xb_GoBottom(); !xb_Bof() && !xb_Eof(); xb_Skip(-1))
        out += std::to_string(xb_RecNo()) + " ";
    return out;
}

class Indexes : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = MakeReceived(dir_);
        ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        Add("<b@x>", "ACC2", "Carol");
        Add("<a@x>", "ACC1", "bob");
        Add("<c@x>", "ACC1", "Alice");
        Add("<d@x>", "ACC3", "Bob");
    }
    EngineReset reset_;
    TempDir dir_;
    std::string path_;
};

TEST_F(Indexes, StructuralIndexOpensWithTheTableInNaturalOrder) {
    EXPECT_EQ(xb_SysProp(XB_PROP_INDEX_COUNT, 0), 3);
    EXPECT_EQ(xb_IndexOrd(), 0);
    EXPECT_EQ(Walk(), "1 2 3 4 ");
    EXPECT_EQ(xb_TagArea("link_id"), 2);
    EXPECT_EQ(xb_TagArea("nope"), 0);
    char buf[256];
    xb_TagName(3, buf, sizeof buf);
    EXPECT_STREQ(buf, "FROM");
    xb_IndexKey(1, buf, sizeof buf);
    EXPECT_STREQ(buf, "MESSAGE_ID");
    xb_IndexKeyField(1, buf, sizeof buf);
    EXPECT_STREQ(buf, "MESSAGE_ID");
    xb_IndexName(1, buf, sizeof buf);
    EXPECT_NE(std::string(buf).find("received.cdx"), std::string::npos);
    EXPECT_EQ(xb_IndexType(1), XB_INDEX_UNIQUE);
    EXPECT_EQ(xb_IndexType(2), XB_INDEX_PLAIN);
    EXPECT_EQ(xb_IndexType(9), 0);
    EXPECT_EQ(xb_SetOrder(1), 0);
    EXPECT_EQ(Walk(), "2 1 3 4 ");
    EXPECT_EQ(WalkBack(), "4 3 1 2 ");
    EXPECT_EQ(xb_SetOrder(3), 1);
    EXPECT_EQ(Walk(), "3 4 1 2 "); // Alice, Bob, Carol, bob: bytes compare
    EXPECT_EQ(xb_SysProp(XB_PROP_DESCENDING, 0), 0);
    EXPECT_EQ(xb_SetOrder(7), -1);
    EXPECT_EQ(xb_LastError(), XB_ERR_INDEX);
    EXPECT_EQ(xb_IndexOrd(), 3);
    xb_GoTop();
    xb_KeyData(buf, sizeof buf);
    EXPECT_EQ(std::string(buf), "Alice" + std::string(35, ' '));
    EXPECT_EQ(xb_OrderRecNo(), 1);
    xb_Skip(2);
    EXPECT_EQ(xb_OrderRecNo(), 3);
}

TEST_F(Indexes, SeekComparesThePrefixUnlessExactAndSoftSeekLandsOnTheNext) {
    EXPECT_EQ(xb_Seek("<a@x>"), 0); // no order
    EXPECT_EQ(xb_LastError(), XB_ERR_INDEX);
    xb_SetOrder(1);
    EXPECT_EQ(xb_Seek("<c@x>"), 1);
    EXPECT_EQ(xb_RecNo(), 3);
    EXPECT_EQ(xb_Seek("<c"), 1); // prefix, exact off
    EXPECT_EQ(xb_RecNo(), 3);
    xb_SetExact(1);
    EXPECT_EQ(xb_Seek("<c"), 0);
    EXPECT_TRUE(xb_Eof());
    EXPECT_EQ(xb_Seek("<c@x>"), 1);                                  // the whole key, blank-padded
    EXPECT_EQ(xb_Seek(("<c@x>" + std::string(60, ' ')).c_str()), 1); // cut to the key length
    xb_SetExact(0);
    EXPECT_EQ(xb_Seek("<bz"), 0);
    EXPECT_TRUE(xb_Eof());
    xb_SetSoftSeek(1);
    EXPECT_EQ(xb_Seek("<bz"), 0);
    EXPECT_FALSE(xb_Eof());
    EXPECT_EQ(xb_RecNo(), 3);
    EXPECT_EQ(xb_Seek("<zz"), 0);
    EXPECT_TRUE(xb_Eof());
    xb_SetSoftSeek(0);
    // A deleted row is not found while deleted rows are hidden.
    xb_Seek("<a@x>");
    xb_Delete();
    xb_SetDeleted(1);
    EXPECT_EQ(xb_Seek("<a@x>"), 0);
    xb_SetDeleted(0);
    EXPECT_EQ(xb_Seek("<a@x>"), 1);
}

TEST_F(Indexes, ScopeLimitsTheOrderAndClearsWithNil) {
    Add("<e@x>", "ACC1", "Eve");
    xb_SetOrder(2);
    ASSERT_EQ(xb_SetScope("ACC1", "ACC1"), 1);
    EXPECT_EQ(Walk(), "2 3 5 ");
    EXPECT_EQ(WalkBack(), "5 3 2 ");
    EXPECT_EQ(xb_Count(), 3);
    xb_GoTop();
    xb_Skip(-1);
    EXPECT_TRUE(xb_Bof());
    EXPECT_EQ(xb_RecNo(), 2);
    xb_SetScope("ACC2", nullptr);
    EXPECT_EQ(Walk(), "1 4 ");
    xb_SetScope("ACC9", "ACC9");
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    xb_SetScope(nullptr, nullptr);
    EXPECT_EQ(Walk(), "2 3 5 1 4 ");
    EXPECT_EQ(xb_Count(), 5);
    xb_SetOrder(0);
    EXPECT_EQ(xb_SetScope("a", "b"), 0);
}

TEST_F(Indexes, FiltersAndExpressions) {
    ASSERT_EQ(xb_Query("LINK_ID = 'ACC1'"), 1) << ErrorText();
    char buf[256];
    xb_DBFilter(buf, sizeof buf);
    EXPECT_STREQ(buf, "LINK_ID = 'ACC1'");
    EXPECT_EQ(Walk(), "2 3 ");
    xb_SetOrder(3);
    EXPECT_EQ(Walk(), "3 2 ");
    EXPECT_EQ(xb_Count(), 2);
    EXPECT_EQ(xb_SysProp(XB_PROP_RECHECK, 0), 1);
    EXPECT_EQ(xb_Query("FROM"), 0); // not logical
    EXPECT_EQ(xb_LastError(), XB_ERR_EXPRESSION);
    EXPECT_EQ(xb_Query("NOSUCH = 1"), 0);
    EXPECT_NE(ErrorText().find("position"), std::string::npos) << ErrorText();
    ASSERT_EQ(xb_Query(""), 1);
    EXPECT_EQ(Walk(), "3 4 1 2 ");
    xb_SetOrder(0);
    xb_Go(2);
    EXPECT_EQ(xb_EvalTest("UPPER(FROM)"), XB_EVAL_CHARACTER);
    EXPECT_EQ(xb_EvalTest("RECNO() + 1"), XB_EVAL_NUMERIC);
    EXPECT_EQ(xb_EvalTest("DELETED()"), XB_EVAL_LOGICAL);
    EXPECT_EQ(xb_EvalTest("UPPER("), 0);
    xb_EvalString("UPPER(TRIM(FROM)) + '!'", buf, sizeof buf);
    EXPECT_STREQ(buf, "BOB!");
    xb_EvalString("LTRIM(STR(RECNO() * 10, 19))", buf, sizeof buf);
    EXPECT_STREQ(buf, "20");
    EXPECT_EQ(xb_EvalLogical("LINK_ID = 'ACC'"), 1); // prefix while exact is off
    xb_SetExact(1);
    EXPECT_EQ(xb_EvalLogical("LINK_ID = 'ACC'"), 0);
}

TEST_F(Indexes, UniqueTagKeepsTheFirstRowAndNeverRefusesAnAppend) {
    Add("<a@x>", "ACC9", "second a");
    EXPECT_EQ(xb_RecCount(), 5);
    xb_SetOrder(1);
    EXPECT_EQ(Walk(), "2 1 3 4 ");
    EXPECT_EQ(xb_Seek("<a@x>"), 1);
    EXPECT_EQ(xb_RecNo(), 2);
    // The other tags hold every row.
    xb_SetOrder(2);
    EXPECT_EQ(Walk(), "2 3 1 4 5 ");
}

TEST_F(Indexes, ChangedKeysMoveTheRow) {
    xb_SetOrder(1);
    ASSERT_EQ(xb_Seek("<a@x>"), 1);
    ASSERT_TRUE(Put("MESSAGE_ID", "<z@x>"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    EXPECT_EQ(Walk(), "1 3 4 2 ");
    EXPECT_EQ(xb_Seek("<a@x>"), 0);
    // A key changed during a walk: the walk goes on from where the row went.
    xb_GoTop(); // <b@x>, record 1
    ASSERT_EQ(xb_RecNo(), 1);
    ASSERT_TRUE(Put("MESSAGE_ID", "<cc@x>"));
    xb_Skip(1);
    EXPECT_EQ(xb_RecNo(), 4); // <d@x>, after <cc@x>; not <c@x> after the old key
    xb_Skip(-1);
    EXPECT_EQ(xb_RecNo(), 1);
}

TEST_F(Indexes, PackAndZapRebuildTheTags) {
    xb_Go(1);
    xb_Delete();
    xb_Go(3);
    xb_Delete();
    xb_CloseAll();
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    ASSERT_EQ(xb_Pack(), 1) << ErrorText();
    xb_SetOrder(1);
    EXPECT_EQ(Walk(), "1 2 "); // <a@x> now record 1, <d@x> record 2
    EXPECT_EQ(xb_Seek("<d@x>"), 1);
    EXPECT_EQ(xb_RecNo(), 2);
    ASSERT_EQ(xb_Zap(), 1);
    EXPECT_EQ(Walk(), "");
    Add("<n@x>", "ACC1");
    EXPECT_EQ(xb_Seek("<n@x>"), 1);
}

TEST_F(Indexes, TagsNeedAnExclusiveOpenAndAValidKey) {
    EXPECT_EQ(xb_IndexTag("", "SUBJECT", "SUBJECT", 0, 0, ""), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_EXCLUSIVE);
    xb_CloseAll();
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    EXPECT_EQ(xb_IndexTag("", "BAD", "NOSUCH", 0, 0, ""), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_EXPRESSION);
    int order = xb_IndexTag("", "UPFROM", "UPPER(FROM)", 0, 1, "LINK_ID = 'ACC1'");
    ASSERT_EQ(order, 4) << ErrorText();
    EXPECT_EQ(xb_IndexType(4), XB_INDEX_CONDITIONAL);
    char buf[128];
    xb_IndexCondition(4, buf, sizeof buf);
    EXPECT_STREQ(buf, "LINK_ID = 'ACC1'");
    xb_IndexKeyField(4, buf, sizeof buf);
    EXPECT_STREQ(buf, "FROM");
    EXPECT_EQ(xb_SysProp(XB_PROP_DESCENDING, 0), 1);
    EXPECT_EQ(Walk(), "2 3 "); // BOB then ALICE, descending
    // A separate bag opens as more orders.
    ASSERT_EQ(xb_IndexTag(dir_.File("extra.cdx").c_str(), "SUBJ", "SUBJECT", 0, 0, ""), 5)
        << ErrorText();
    xb_CloseAll();
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_INDEX_COUNT, 0), 4);
    EXPECT_EQ(xb_IndexOpen(dir_.File("EXTRA").c_str()), 5) << ErrorText();
    EXPECT_EQ(xb_IndexOrd(), 5);
    EXPECT_EQ(xb_IndexOpen(dir_.File("missing.idx").c_str()), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_NOFILE);
}

TEST_F(Indexes, IndexDumpListsOurKeysInOurOrder) {
    xb_CloseAll();
    for (const char* tag : {"MESSAGE_ID", "LINK_ID", "FROM"}) {
        SCOPED_TRACE(tag);
        ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_READONLY, 2), 0);
        xb_SetOrder(xb_TagArea(tag));
        std::string ours;
        char key[64];
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
            xb_KeyData(key, sizeof key);
            std::string k = key;
            k.erase(k.find_last_not_of(' ') + 1);
            ours += k + " " + std::to_string(xb_RecNo()) + "\n";
        }
        xb_CloseAll();
        std::string dumped =
            Capture("index_dump --type char '" + dir_.File("received.cdx") + "' " + tag);
        EXPECT_EQ(dumped, ours);
    }
}

TEST(BagNames, ABagNamedLikeTheTableInAnyCaseIsItsOwnIndex) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("UNIQUE_ID", 'C', 20), Def("SUBJECT", 'C', 80)};
    std::string p = dir.File("sent.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    ASSERT_EQ(xb_IndexTag("Sent", "UNIQUE_ID", "UNIQUE_ID", 1, 0, ""), 1) << ErrorText();
    ASSERT_EQ(xb_IndexTag("Sent", "SUBJECT", "SUBJECT", 0, 0, ""), 2) << ErrorText();
    xb_CloseAll();
    EXPECT_TRUE(std::filesystem::exists(dir.File("sent.cdx")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("Sent.cdx")));
    // It opens with the table, whatever case the table is named in.
    ASSERT_NE(xb_Use(dir.File("SENT.DBF").c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_INDEX_COUNT, 0), 2);
    EXPECT_EQ(xb_IndexOpen("SENT"), 1); // already open: its first order
}

TEST(BagNames, AnIndexPointingPastTheEndIsACorruptFileNotACrash) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("UNIQUE_ID", 'C', 20)};
    std::string p = dir.File("rules.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 1), 1);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    ASSERT_EQ(xb_IndexTag("", "UNIQUE_ID", "UNIQUE_ID", 0, 0, ""), 1);
    for (const char* id : {"c", "a", "b"}) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("UNIQUE_ID", id);
    }
    xb_CloseAll();
    // The header now counts two records; the index still holds three.
    {
        std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4);
        f.put('\x02');
    }
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_RecCount(), 2);
    xb_SetOrder(1);
    std::string walked;
    for (int guard = 0; guard < 10 && xb_GoTop() == 1 && !xb_Eof(); ++guard) {
        walked += Trim("UNIQUE_ID");
        if (xb_Skip(1) != 1)
            break;
    }
    EXPECT_EQ(xb_LastError(), XB_ERR_CORRUPT);
    std::string text = ErrorText();
    EXPECT_NE(text.find("rules.cdx"), std::string::npos) << text;
    EXPECT_NE(text.find("past the end"), std::string::npos) << text;
    EXPECT_EQ(xb_Seek("b"), 0); // record 3
    EXPECT_EQ(xb_LastError(), XB_ERR_CORRUPT);
}

TEST(RealIndexes, WalkAFoxproTagAndStayReadableAfterAppending) {
    EngineReset reset;
    TempDir dir;
    CopyShared("go-dbase", dir);
    std::string cdx = dir.File("employees.CDX");
    std::string before = Capture("index_dump --type char '" + cdx + "' LASTNAME");
    ASSERT_EQ(before, "Buchanan 3\nDavolio 1\nLeverling 2\n");
    ASSERT_NE(xb_Use(dir.File("employees.dbf").c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    int order = xb_TagArea("LASTNAME");
    ASSERT_GT(order, 0);
    ASSERT_EQ(xb_SetOrder(order), 0) << ErrorText();
    EXPECT_EQ(Walk(), "3 1 2 ");
    EXPECT_EQ(xb_Seek("Dav"), 1);
    EXPECT_EQ(xb_RecNo(), 1);
    // Tags whose keys name fields this table lacks refuse use, with a reason.
    int bad = xb_TagArea("DEPARTMENT");
    if (bad > 0) {
        EXPECT_EQ(xb_SetOrder(bad), -1);
        EXPECT_EQ(xb_LastError(), XB_ERR_EXPRESSION);
    }
    xb_CloseAll();
    std::string dumped = Capture("index_dump --type char '" + cdx + "' LASTNAME");
    EXPECT_EQ(dumped, before);
}

// ---- randomised model -------------------------------------------------------

TEST(IndexModel, RandomOperationsKeepEveryTagInOrder) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("KEY", 'C', 6), Def("GRP", 'C', 2)};
    std::string p = dir.File("model.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    ASSERT_EQ(xb_IndexTag("", "KEY", "KEY", 0, 0, ""), 1);
    ASSERT_EQ(xb_IndexTag("", "GRPKEY", "GRP + KEY", 0, 1, ""), 2);

    struct Row {
        std::string key, grp;
        bool deleted = false;
    };
    std::vector<Row> rows; // index = recno - 1
    std::mt19937 rng(4242);
    auto randKey = [&] {
        std::string k;
        for (int i = 0; i < 1 + static_cast<int>(rng() % 6); ++i)
            k += static_cast<char>('a' + rng() % 4);
        return k;
    };
    auto check = [&](bool hideDeleted) {
        xb_SetDeleted(hideDeleted ? 1 : 0);
        std::multimap<std::string, std::uint32_t> byKey, byGrp;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (hideDeleted && rows[i].deleted)
                continue;
            auto pad = [](std::string s, std::size_t n) {
                s.resize(n, ' ');
                return s;
            };
            byKey.emplace(pad(rows[i].key, 6), static_cast<std::uint32_t>(i + 1));
            byGrp.emplace(pad(rows[i].grp, 2) + pad(rows[i].key, 6),
                          static_cast<std::uint32_t>(i + 1));
        }
        std::string want, got;
        xb_SetOrder(1);
        for (auto& [k, r] : byKey)
            want += std::to_string(r) + " ";
        got = Walk();
        ASSERT_EQ(got, want);
        want.clear();
        xb_SetOrder(2); // descending
        for (auto it = byGrp.rbegin(); it != byGrp.rend(); ++it) {
            // Equal keys stay in record order within a descending walk's reverse.
            want = std::to_string(it->second) + " " + want;
        }
        std::string rev;
        for (xb_GoBottom(); !xb_Eof() && !xb_Bof(); xb_Skip(-1))
            rev += std::to_string(xb_RecNo()) + " ";
        ASSERT_EQ(rev, want);
    };

    for (int step = 0; step < 3000; ++step) {
        int op = static_cast<int>(rng() % 10);
        if (op < 5 || rows.empty()) {
            Row r{randKey(), std::string(1, static_cast<char>('A' + rng() % 3))};
            ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
            Put("KEY", r.key);
            Put("GRP", r.grp);
            ASSERT_EQ(xb_Commit(), 1) << ErrorText();
            rows.push_back(r);
        } else if (op < 7) {
            std::uint32_t rec = 1 + static_cast<std::uint32_t>(rng() % rows.size());
            xb_Go(static_cast<int32_t>(rec));
            bool del = !rows[rec - 1].deleted;
            ASSERT_EQ(del ? xb_Delete() : xb_Recall(), 1);
            rows[rec - 1].deleted = del;
        } else if (op < 9) {
            std::uint32_t rec = 1 + static_cast<std::uint32_t>(rng() % rows.size());
            xb_Go(static_cast<int32_t>(rec));
            rows[rec - 1].key = randKey();
            Put("KEY", rows[rec - 1].key);
            ASSERT_EQ(xb_Commit(), 1) << ErrorText();
        } else if (step % 7 == 0) {
            ASSERT_EQ(xb_Pack(), 1) << ErrorText();
            std::erase_if(rows, [](const Row& r) { return r.deleted; });
        } else {
            // Seek a random key: found exactly when the model holds it live.
            xb_SetOrder(1);
            xb_SetDeleted(1);
            std::string k = randKey();
            bool expect = std::any_of(rows.begin(), rows.end(), [&](const Row& r) {
                return !r.deleted && r.key.compare(0, k.size(), k) == 0;
            });
            ASSERT_EQ(xb_Seek(k.c_str()) != 0, expect) << k;
        }
        if (step % 250 == 0) {
            check(false);
            check(true);
        }
    }
    check(false);
    check(true);
}

} // namespace

#endif
